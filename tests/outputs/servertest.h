#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

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

// A self-signed certificate for 127.0.0.1 (cert.pem, key.pem in `folder`), made with the
// openssl command; false when it could not be made.
inline bool makeCertificate(const std::filesystem::path& folder) {
    QProcess openssl;
    openssl.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                              "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
                              "-keyout", QString::fromStdString((folder / "key.pem").string()),
                              "-out", QString::fromStdString((folder / "cert.pem").string())});
    return openssl.waitForFinished(60000) && openssl.exitCode() == 0;
}

// A picture's stand-in: every byte value, and more than one network packet.
inline std::string pictureBytes() {
    std::string bytes = "\xff\xd8\xff\xe0";
    for (int i = 0; i < 70000; ++i)
        bytes += static_cast<char>((i * 7 + i / 256) & 0xff);
    return bytes;
}
