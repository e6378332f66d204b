#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "outputs/ftpupload.h"

// The options of the minute step, read from the window when it runs.
struct PictureUploadOptions {
    bool upload = false;
    FtpTarget target;
    bool pictureTool = false;
    std::string pictureToolPath;
};

// How one upload ended.
struct UploadEnd {
    std::string remoteName;                // what the picture went, or was to go, under
    std::optional<UploadFailure> failure;  // none when the picture arrived
};

// Uploads beside the main thread, so that the window and the detection go on while a server
// takes its time; one upload at a time. `onEnd` hears, on the upload's thread, how each upload
// ended (not one cancelled).
class PictureUploader {
public:
    explicit PictureUploader(std::function<void(const UploadEnd& end)> onEnd = {},
                             std::chrono::milliseconds limit = std::chrono::seconds(15));
    PictureUploader(const PictureUploader&) = delete;
    PictureUploader& operator=(const PictureUploader&) = delete;
    // An upload still running is cancelled, and its end waited for.
    ~PictureUploader();

    // Puts the picture (a JPEG's bytes) to the server. False, with nothing done, while the
    // previous upload still runs.
    bool start(const FtpTarget& target, std::string picture);
    bool running() const { return m_running; }
    // Until the running upload, if any, has ended.
    void waitForEnd();

private:
    std::function<void(const UploadEnd& end)> m_onEnd;
    std::chrono::milliseconds m_limit;
    std::thread m_worker;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_cancelled{false};
};

// The minute step of the recording mode: with the upload option, a snapshot taken now goes to
// the server beside the program (unless the previous upload still runs); with the picture tool, a
// second, fresh snapshot is put in place of `picturePath` and the tool started with that path, but
// only when it was put there. A failure waits for the next minute, which tries again.
void uploadPicture(const PictureUploadOptions& options, PictureUploader& uploader,
                   const std::string& picturePath, const std::function<std::string()>& takeSnapshot,
                   const std::function<void(const std::string& program,
                                            const std::string& argument)>& launchProgram);
