#pragma once

#include <QString>

#include <filesystem>
#include <string>

#include "support/scriptserver.h"

// A private FTP server on 127.0.0.1 (tests/support/ftpserver.py, pyftpdlib) serving `folder` to
// `user` and to anonymous logins; on `port` when given, noting the path of each file received
// in `received` when given. Needs SENTELLO_TEST_SUPPORT.
class FtpServer {
public:
    FtpServer(const std::filesystem::path& folder, const std::string& user,
              const std::string& password, int port = 0, const std::filesystem::path& received = {})
        : m_script("ftpserver.py",
                   {QString::fromStdString(folder.string()), QString::fromStdString(user),
                    QString::fromStdString(password), QString::number(port),
                    QString::fromStdString(received.string())}) {}

    // 0 when it did not start.
    int port() const { return m_script.port(); }
    std::string server() const { return "127.0.0.1:" + std::to_string(port()); }

private:
    ScriptServer m_script;
};
