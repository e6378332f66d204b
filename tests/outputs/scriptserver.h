#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

// A server of tests/support (run with Debian's own Python) on 127.0.0.1, from the moment it
// says its port until the test ends. Needs SENTELLO_TEST_SUPPORT.
class ScriptServer {
public:
    ScriptServer(const std::string& script, const QStringList& arguments) {
        m_process.start(
            "/usr/bin/python3",
            QStringList{QString::fromStdString(std::string(SENTELLO_TEST_SUPPORT) + "/" + script)} +
                arguments);
        if (!m_process.waitForStarted(20000))
            return;
        QByteArray output;
        while (!output.contains('\n') && m_process.waitForReadyRead(20000))
            output += m_process.readAllStandardOutput();
        const auto match = QRegularExpression("port (\\d+)").match(QString::fromUtf8(output));
        if (match.hasMatch())
            m_port = match.captured(1).toInt();
    }
    ~ScriptServer() {
        m_process.kill();
        m_process.waitForFinished();
    }
    ScriptServer(const ScriptServer&) = delete;
    ScriptServer& operator=(const ScriptServer&) = delete;

    // 0 when it did not start.
    int port() const { return m_port; }
    // What it said on failing to start.
    std::string errors() { return m_process.readAllStandardError().toStdString(); }

private:
    QProcess m_process;
    int m_port = 0;
};

inline std::string fileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A summary the server wrote; empty when there is none.
inline QJsonObject summaryAt(const std::filesystem::path& path) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(fileBytes(path))).object();
}

// A self-signed certificate for `name`, an IPv4 address or a host name (cert.pem, key.pem in
// `folder`), made with the openssl command; false when it could not be made.
inline bool makeCertificate(const std::filesystem::path& folder,
                            const std::string& name = "127.0.0.1") {
    const bool address = !name.empty() && std::isdigit(static_cast<unsigned char>(name[0]));
    const QString subject = QString::fromStdString(name);
    QProcess openssl;
    openssl.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                              "-subj", "/CN=" + subject, "-addext",
                              "subjectAltName=" + QString(address ? "IP:" : "DNS:") + subject,
                              "-keyout", QString::fromStdString((folder / "key.pem").string()),
                              "-out", QString::fromStdString((folder / "cert.pem").string())});
    return openssl.waitForFinished(60000) && openssl.exitCode() == 0;
}

// The SHA-256 fingerprint of a certificate as `openssl x509 -fingerprint -sha256` prints it
// ("AB:CD:..."); empty when it could not say.
inline std::string opensslFingerprint(const std::filesystem::path& certificate) {
    QProcess openssl;
    openssl.start("openssl", {"x509", "-noout", "-fingerprint", "-sha256", "-in",
                              QString::fromStdString(certificate.string())});
    if (!openssl.waitForFinished(60000) || openssl.exitCode() != 0)
        return {};
    const QString said = QString::fromUtf8(openssl.readAllStandardOutput()).trimmed();
    return said.section('=', 1).toStdString();
}

// A picture's stand-in: every byte value, and more than one network packet.
inline std::string pictureBytes() {
    std::string bytes = "\xff\xd8\xff\xe0";
    for (int i = 0; i < 70000; ++i)
        bytes += static_cast<char>((i * 7 + i / 256) & 0xff);
    return bytes;
}
