#include "settings/storedtext.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

namespace {

TEST(StoredText, ValidUtf8IsKept) {
    for (const std::string text : {
             "", "ftpuser",
             "J\xC3\xBCrgen Gr\xC3\xB6\xC3\x9F"
             "e",
             "\xE2\x82\xAC 5",
             "\xF0\x9F\x93\xB7 kamera",  // four-byte sequence
             "\xF4\x8F\xBF\xBF",         // the last code point
         }) {
        EXPECT_EQ(textFromStoredBytes(text), text);
    }
}

TEST(StoredText, Windows1252BytesBecomeUtf8) {
    EXPECT_EQ(textFromStoredBytes("J\xFCrgen Gr\xF6\xDF"
                                  "e"),
              "J\xC3\xBCrgen Gr\xC3\xB6\xC3\x9F"
              "e");
    EXPECT_EQ(textFromStoredBytes("\xC4\xD6\xDC\xE4\xF6\xFC\xDF"),
              "\xC3\x84\xC3\x96\xC3\x9C\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F");
    EXPECT_EQ(textFromStoredBytes("\x80"), "\xE2\x82\xAC");
    EXPECT_EQ(textFromStoredBytes("\x9F"), "\xC5\xB8");  // Y with diaeresis
    // One byte that is no UTF-8 decides for the whole text.
    EXPECT_EQ(textFromStoredBytes("\xC3\xBC\xFC"), "\xC3\x83\xC2\xBC\xC3\xBC");
}

TEST(StoredText, DefinedCodesAgreeWithTheSystemConverter) {
    iconv_t converter = iconv_open("UTF-8", "WINDOWS-1252");
    if (converter == reinterpret_cast<iconv_t>(-1))
        GTEST_SKIP() << "no Windows-1252 converter on this system";
    for (int code = 0x80; code <= 0xFF; ++code) {
        if (code == 0x81 || code == 0x8D || code == 0x8F || code == 0x90 || code == 0x9D)
            continue;
        char in[1] = {static_cast<char>(code)};
        char out[8] = {};
        char* inPointer = in;
        char* outPointer = out;
        std::size_t inLeft = 1;
        std::size_t outLeft = sizeof out;
        ASSERT_NE(iconv(converter, &inPointer, &inLeft, &outPointer, &outLeft),
                  static_cast<std::size_t>(-1))
            << code;
        EXPECT_EQ(textFromStoredBytes(std::string(1, static_cast<char>(code))),
                  std::string(out, outPointer))
            << code;
    }
    iconv_close(converter);
}

TEST(StoredText, UndefinedCodesKeepTheirValue) {
    EXPECT_EQ(textFromStoredBytes("\x81"), "\xC2\x81");
    EXPECT_EQ(textFromStoredBytes("\x8D"), "\xC2\x8D");
    EXPECT_EQ(textFromStoredBytes("\x8F"), "\xC2\x8F");
    EXPECT_EQ(textFromStoredBytes("\x90"), "\xC2\x90");
    EXPECT_EQ(textFromStoredBytes("\x9D"), "\xC2\x9D");
}

TEST(StoredText, MalformedUtf8IsReadAsWindows1252) {
    EXPECT_EQ(textFromStoredBytes("\xC0\xAF"), "\xC3\x80\xC2\xAF");  // overlong "/"
    EXPECT_EQ(textFromStoredBytes("\xE0\x80\xAF"),                   // overlong "/" in three bytes
              "\xC3\xA0\xE2\x82\xAC\xC2\xAF");
    EXPECT_EQ(textFromStoredBytes("\xED\xA0\x80"),  // surrogate
              "\xC3\xAD\xC2\xA0\xE2\x82\xAC");
    EXPECT_EQ(textFromStoredBytes("Gr\xC3"), "Gr\xC3\x83");  // cut-off sequence
    EXPECT_EQ(textFromStoredBytes("\xF4\x90\x80\x80"),       // beyond U+10FFFF
              "\xC3\xB4\xC2\x90\xE2\x82\xAC\xE2\x82\xAC");
}

}  // namespace
