#include "outputs/pictureupload.h"

#include <sys/stat.h>

#include "settings/wholefile.h"

PictureUploader::PictureUploader(std::function<void(const UploadEnd& end)> onEnd,
                                 std::chrono::milliseconds limit)
    : m_onEnd(std::move(onEnd)), m_limit(limit) {}

PictureUploader::~PictureUploader() {
    m_cancelled = true;
    waitForEnd();
}

bool PictureUploader::start(const FtpTarget& target, std::string picture) {
    if (m_running)
        return false;
    waitForEnd();
    m_running = true;
    m_worker = std::thread([this, target, picture = std::move(picture)] {
        UploadFailure failure;
        const bool arrived = uploadFile(target, picture, m_limit, &m_cancelled, &failure);
        if (!m_cancelled && m_onEnd) {
            m_onEnd({target.remoteName,
                     arrived ? std::nullopt : std::optional<UploadFailure>(std::move(failure))});
        }
        m_running = false;
    });
    return true;
}

void PictureUploader::waitForEnd() {
    if (m_worker.joinable())
        m_worker.join();
}

void uploadPicture(const PictureUploadOptions& options, PictureUploader& uploader,
                   const std::string& picturePath, const std::function<std::string()>& takeSnapshot,
                   const std::function<void(const std::string& program,
                                            const std::string& argument)>& launchProgram) {
    if (options.upload) {
        if (uploader.running()) {
            qCDebug(uploadLog) << "upload skipped: the previous one is still running";
        } else if (std::string snapshot = takeSnapshot(); snapshot.empty()) {
            qCDebug(uploadLog) << "upload skipped: the camera has no picture";
        } else {
            uploader.start(options.target, std::move(snapshot));
        }
    }
    if (options.pictureTool) {
        const std::string snapshot = takeSnapshot();
        // Readable by this user only: the picture shows the watched room.
        if (!snapshot.empty() && !picturePath.empty() &&
            !writeWholeFile(picturePath, snapshot, S_IRUSR | S_IWUSR))
            launchProgram(options.pictureToolPath, picturePath);
    }
}
