#include "settings/keytable.h"

#include "settings/credentialscrambling.h"

std::string readStoredText(const SettingsFile& file, const std::string& key, KeyKind kind,
                           const std::string& fallback) {
    switch (kind) {
        case KeyKind::Text:
            return file.readText(key, fallback);
        case KeyKind::Credential:
            // A credential has no default: a missing one is an empty one.
            return unscrambleCredential(file.readBytes(key, ""), credentialKey);
        default:
            return file.readBytes(key, fallback);
    }
}

void writeStoredText(SettingsFile& file, const std::string& key, KeyKind kind,
                     const std::string& text) {
    switch (kind) {
        case KeyKind::Text:
            file.writeText(key, text);
            break;
        case KeyKind::Credential:
            file.writeBytes(key, scrambleCredential(text, credentialKey));
            break;
        default:
            file.writeBytes(key, text);
            break;
    }
}

bool openForWriting(SettingsFile& file, const std::string& path, std::string_view group) {
    if (!file.open(path) && !file.create(path))
        return false;
    file.selectGroup(group);
    return true;
}
