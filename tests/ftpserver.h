#pragma once

#include <QProcess>
#include <QRegularExpression>
#include <QString>

#include <filesystem>
#include <string>

// A private FTP server on 127.0.0.1 (tests/support/ftpserver.py, pyftpdlib, run with Debian's
// own Python) serving `folder` to `user` and to anonymous logins. Needs SENTELLO_TEST_SUPPORT.
class FtpServer {
public:
    FtpServer(const std::filesystem::path& folder, const std::string& user,
              const std::string& password) {
        m_process.start(
            "/usr/bin/python3",
            {QString::fromStdString(std::string(SENTELLO_TEST_SUPPORT) + "/ftpserver.py"),
             QString::fromStdString(folder.string()), QString::fromStdString(user),
             QString::fromStdString(password)});
        if (!m_process.waitForStarted(20000))
            return;
        QByteArray output;
        while (!output.contains('\n') && m_process.waitForReadyRead(20000))
            output += m_process.readAllStandardOutput();
        const auto match = QRegularExpression("port (\\d+)").match(QString::fromUtf8(output));
        if (match.hasMatch())
            m_port = match.captured(1).toInt();
    }
    ~FtpServer() {
        m_process.kill();
        m_process.waitForFinished();
    }
    FtpServer(const FtpServer&) = delete;
    FtpServer& operator=(const FtpServer&) = delete;

    // 0 when it did not start.
    int port() const { return m_port; }
    std::string server() const { return "127.0.0.1:" + std::to_string(m_port); }

private:
    QProcess m_process;
    int m_port = 0;
};
