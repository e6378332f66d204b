#pragma once

#include <functional>
#include <string>

#include "outputs/ftpupload.h"

// The options of the minute step, read from the window when it runs.
struct PictureUploadOptions {
    bool upload = false;
    FtpTarget target;
    bool pictureTool = false;
    std::string pictureToolPath;
};

// The local picture file: "sentello.jpg" in the system's temporary folder.
std::string pictureFilePath();

// The minute step of the recording mode: with the upload option, connect, make a snapshot
// into `picturePath` once the connection stands, and put it on the server; with the picture
// tool, make a second, fresh snapshot and start the tool with its quoted path. Every failure
// is silent; the next minute tries again.
void uploadPicture(const PictureUploadOptions& options, const std::string& picturePath,
                   const std::function<bool(const std::string& path)>& makeSnapshot,
                   const std::function<void(const std::string& program,
                                            const std::string& argument)>& launchProgram);
