#include "settings/storedtext.h"

#include <array>

#include "settings/utf8.h"

namespace {

// Windows-1252 codes 0x80 to 0x9F; the five codes without a character keep their own value, as
// Windows itself converts them.
constexpr std::array<char16_t, 32> kWindows1252High{
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

}  // namespace

std::string textFromStoredBytes(std::string_view bytes) {
    if (isUtf8(bytes))
        return std::string(bytes);
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const char byte : bytes) {
        const auto code = static_cast<unsigned char>(byte);
        if (code >= 0x80 && code <= 0x9F)
            appendUtf8(text, kWindows1252High[code - 0x80]);
        else
            appendUtf8(text, code);
    }
    return text;
}
