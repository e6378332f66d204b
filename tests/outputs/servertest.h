#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "../support/scriptserver.h"

// What the tests of the channels share besides their servers: the files the servers write, a
// certificate and a picture.

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
