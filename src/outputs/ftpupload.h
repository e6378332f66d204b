#pragma once

#include <chrono>
#include <functional>
#include <string>

// Where and as whom a picture goes: the texts of the "Internet" tab as typed.
struct FtpTarget {
    std::string server;  // a host name or address, optionally with ":port" (21 otherwise)
    std::string user;    // empty: the anonymous login
    std::string password;
    std::string remoteName;  // may have a folder part, e.g. "webcam/bild.jpg"
};

// The FTP address of the remote name on the server; empty when the server field names no
// host. Each part of the name is escaped, its slashes kept.
std::string ftpAddress(const FtpTarget& target);

// Connects and logs in (passive mode), and only once that stands runs `prepareFile`, then
// puts `localPath` under the remote name in binary mode. The connection and every answer of
// the server are waited for at most `responseLimit`. Failures are not shown: the reason goes
// to the debug log category "sentello.upload". True when the file arrived.
bool uploadFile(const FtpTarget& target, const std::string& localPath,
                const std::function<void()>& prepareFile,
                std::chrono::seconds responseLimit = std::chrono::seconds(15));
