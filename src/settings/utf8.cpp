#include "settings/utf8.h"

#include <QByteArrayView>

namespace {

// The length a sequence with this first byte has, if it is well-formed.
std::size_t sequenceLength(unsigned char first) {
    if (first < 0x80)
        return 1;
    if ((first & 0xE0) == 0xC0)
        return 2;
    if ((first & 0xF0) == 0xE0)
        return 3;
    if ((first & 0xF8) == 0xF0)
        return 4;
    return 0;
}

}  // namespace

// Qt's check knows the overlong forms, the surrogates and the end of Unicode.
bool isUtf8(std::string_view bytes) {
    return QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())).isValidUtf8();
}

Utf8Character firstUtf8Character(std::string_view text) {
    if (text.empty())
        return {};
    const auto first = static_cast<unsigned char>(text.front());
    const std::size_t length = sequenceLength(first);
    if (length == 0 || length > text.size() || !isUtf8(text.substr(0, length)))
        return {};
    char32_t codePoint = length == 1 ? first : first & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i)
        codePoint = (codePoint << 6) | (static_cast<unsigned char>(text[i]) & 0x3F);
    return {codePoint, length};
}

void appendUtf8(std::string& text, char32_t codePoint) {
    const auto byte = [](char32_t value) { return static_cast<char>(value); };
    if (codePoint < 0x80) {
        text += byte(codePoint);
    } else if (codePoint < 0x800) {
        text += byte(0xC0 | (codePoint >> 6));
        text += byte(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        text += byte(0xE0 | (codePoint >> 12));
        text += byte(0x80 | ((codePoint >> 6) & 0x3F));
        text += byte(0x80 | (codePoint & 0x3F));
    } else {
        text += byte(0xF0 | (codePoint >> 18));
        text += byte(0x80 | ((codePoint >> 12) & 0x3F));
        text += byte(0x80 | ((codePoint >> 6) & 0x3F));
        text += byte(0x80 | (codePoint & 0x3F));
    }
}
