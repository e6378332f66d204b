#pragma once

#include <algorithm>
#include <climits>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "settings/settingsfile.h"

// The keys of a settings group as one table: each key names the member of a plain value
// struct that holds its value, so reading and writing a group are the same two loops for
// every group, and a key's name, order, default (the struct's) and range are said once.

// How a value stands in the file.
enum class KeyKind {
    Number,      // decimal, kept within the key's range when read
    Flag,        // 0 or 1; any other number reads as 1
    Text,        // SettingsFile::readText and writeText
    Bytes,       // the bytes as they are (SettingsFile::readBytes and writeBytes)
    Credential,  // the bytes scrambled
};

// Numbers read from the file are kept within these.
struct NumberRange {
    int minimum = INT_MIN;
    int maximum = INT_MAX;
};

template <typename Values>
struct SettingKey {
    const char* key;
    KeyKind kind;
    std::variant<int Values::*, bool Values::*, std::string Values::*,
                 std::vector<std::string> Values::*>
        member;
    NumberRange range = {};
    std::size_t item = 0;  // which text of a member holding several
};

// A text of the file in the stored form of `kind`, and back.
std::string readStoredText(const SettingsFile& file, const std::string& key, KeyKind kind,
                           const std::string& fallback);
void writeStoredText(SettingsFile& file, const std::string& key, KeyKind kind,
                     const std::string& text);

// The text a key stands for; `Object` is Values, or const Values when writing.
template <typename Values, typename Object>
auto& textMember(Object& values, const SettingKey<Values>& key) {
    if (const auto* texts = std::get_if<std::vector<std::string> Values::*>(&key.member))
        return (values.**texts).at(key.item);
    return values.*std::get<std::string Values::*>(key.member);
}

// Reads the keys of the selected group into `values`, whose members are the defaults of keys
// the file does not hold. `suffix` follows each key's name (the slot of per-slot keys).
template <typename Values, typename Keys>
void readKeys(const SettingsFile& file, const Keys& keys, Values& values,
              std::string_view suffix = {}) {
    for (const SettingKey<Values>& key : keys) {
        const std::string name = key.key + std::string(suffix);
        switch (key.kind) {
            case KeyKind::Number: {
                int& number = values.*std::get<int Values::*>(key.member);
                number =
                    std::clamp(file.readNumber(name, number), key.range.minimum, key.range.maximum);
                break;
            }
            case KeyKind::Flag: {
                bool& flag = values.*std::get<bool Values::*>(key.member);
                flag = file.readNumber(name, flag ? 1 : 0) != 0;
                break;
            }
            case KeyKind::Text:
            case KeyKind::Bytes:
            case KeyKind::Credential: {
                std::string& text = textMember(values, key);
                text = readStoredText(file, name, key.kind, text);
                break;
            }
        }
    }
}

// Writes the keys into the selected group, in the table's order.
template <typename Values, typename Keys>
void writeKeys(SettingsFile& file, const Keys& keys, const Values& values,
               std::string_view suffix = {}) {
    for (const SettingKey<Values>& key : keys) {
        const std::string name = key.key + std::string(suffix);
        switch (key.kind) {
            case KeyKind::Number:
                file.writeNumber(name, values.*std::get<int Values::*>(key.member));
                break;
            case KeyKind::Flag:
                file.writeNumber(name, values.*std::get<bool Values::*>(key.member) ? 1 : 0);
                break;
            case KeyKind::Text:
            case KeyKind::Bytes:
            case KeyKind::Credential:
                writeStoredText(file, name, key.kind, textMember(values, key));
                break;
        }
    }
}

// Opens the file for writing, making it when missing, with `group` selected; false when
// neither works. A file that is there but cannot be read is never replaced by the few keys
// of one group.
bool openForWriting(SettingsFile& file, const std::string& path, std::string_view group);
