#include "outputs/pictureupload.h"

#include <QDir>

std::string pictureFilePath() {
    return QDir::temp().filePath(QStringLiteral("sentello.jpg")).toStdString();
}

void uploadPicture(const PictureUploadOptions& options, const std::string& picturePath,
                   const std::function<bool(const std::string& path)>& makeSnapshot,
                   const std::function<void(const std::string& program,
                                            const std::string& argument)>& launchProgram) {
    if (options.upload)
        uploadFile(options.target, picturePath, [&] { makeSnapshot(picturePath); });
    if (options.pictureTool) {
        makeSnapshot(picturePath);
        launchProgram(options.pictureToolPath, picturePath);
    }
}
