#pragma once

#include <QLoggingCategory>

#include <atomic>
#include <chrono>
#include <string>
#include <string_view>

// Why uploads fail, for those who ask (QT_LOGGING_RULES="sentello.upload.debug=true").
Q_DECLARE_LOGGING_CATEGORY(uploadLog)

// Where and as whom a picture goes: the texts of the "Internet" tab as typed.
struct FtpTarget {
    std::string server;  // a host name or address, optionally with ":port" (21 otherwise)
    std::string user;    // empty: the anonymous login
    std::string password;
    std::string remoteName;  // may have a folder part, e.g. "webcam/bild.jpg"
};

// Why an upload failed: the step ("connect" or "put"), the reason in the words the user
// reads ("Anmeldung abgelehnt"), and the FTP client's own words for whoever looks closer
// (never the password).
struct UploadFailure {
    std::string step;
    std::string reason;
    std::string detail;
};

// The FTP address of the remote name on the server; empty when the server field names no
// host. Each part of the name is escaped, its slashes kept.
std::string ftpAddress(const FtpTarget& target);

// Connects and logs in (passive mode), then puts `picture` (a file's bytes) under the remote
// name in binary mode. The whole upload ends within `limit` from the first connect, and at
// once when `cancelled` becomes true. Why it failed goes to the debug log category
// "sentello.upload" and into `failure`. True when the picture arrived.
bool uploadFile(const FtpTarget& target, std::string_view picture,
                std::chrono::milliseconds limit = std::chrono::seconds(15),
                const std::atomic<bool>* cancelled = nullptr, UploadFailure* failure = nullptr);
