#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The one place where this program checks and writes UTF-8.

// Whether all of `bytes` is well-formed UTF-8.
bool isUtf8(std::string_view bytes);

// The character whose UTF-8 begins `text`, and how many bytes that takes: 0 when no
// well-formed character begins there (a stray or missing continuation byte, an overlong form,
// a surrogate or a code point beyond U+10FFFF), or when `text` is empty.
struct Utf8Character {
    char32_t codePoint = 0;
    std::size_t length = 0;
};
Utf8Character firstUtf8Character(std::string_view text);

// Appends the UTF-8 of a code point up to U+10FFFF.
void appendUtf8(std::string& text, char32_t codePoint);
