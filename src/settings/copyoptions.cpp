#include "settings/copyoptions.h"

#include <array>

#include "settings/keytable.h"
#include "settings/remotealarmoptions.h"

namespace {

// In the order in which they are written.
constexpr std::array<SettingKey<CopyOptions>, 8> kCopyKeys{{
    {"kopie", KeyKind::Flag, &CopyOptions::on},
    {"kopieart",
     KeyKind::Number,
     &CopyOptions::protocol,
     {static_cast<int>(CopyProtocol::Ftp), static_cast<int>(CopyProtocol::Sftp)}},
    {"kopieserver", KeyKind::Bytes, &CopyOptions::server},
    {"kopieport", KeyKind::Number, &CopyOptions::port, {1, kMaxPort}},
    {"kopieuser", KeyKind::Credential, &CopyOptions::user},
    {"kopiepass", KeyKind::Credential, &CopyOptions::password},
    {"kopieordner", KeyKind::Bytes, &CopyOptions::folder},
    {"kopieschluessel", KeyKind::Bytes, &CopyOptions::fingerprint},
}};

}  // namespace

CopyOptions loadCopyOptions(const std::string& settingsFile) {
    CopyOptions options;
    SettingsFile file;
    file.open(settingsFile);
    if (!file.selectGroup(kCopyGroup))
        return options;
    readKeys(file, kCopyKeys, options);
    if (options.protocol == static_cast<int>(CopyProtocol::Sftp) &&
        file.readNumber("kopieport", 0) == 0)
        options.port = kSftpPort;
    return options;
}

void saveCopyOptions(const CopyOptions& options, const std::string& settingsFile) {
    SettingsFile file;
    if (openForWriting(file, settingsFile, kCopyGroup))
        writeKeys(file, kCopyKeys, options);
}
