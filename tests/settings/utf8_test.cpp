// UTF-8, checked and written in one place for the stored texts, the settings file of a
// byte-order mark and the event log.

#include "settings/utf8.h"

#include <gtest/gtest.h>

#include "../support/settingsfiletest.h"
#include "settings/settingsfile.h"
#include "settings/storedtext.h"

namespace {

// Each of these begins with no character at all.
const std::vector<std::string> kNoCharacter{
    "\x80",              // a continuation byte
    "\xC3",              // cut short
    "\xC3(",             // no continuation
    "\xC0\x80",          // overlong NUL
    "\xE0\x80\xAF",      // overlong "/"
    "\xED\xA0\x80",      // a surrogate
    "\xF4\x90\x80\x80",  // beyond U+10FFFF
    "\xF5\x80\x80\x80",  // no such first byte
    "\xF8\x88\x80\x80\x80",
};

TEST(Utf8, ReadsEachWellFormedCharacterWithItsLength) {
    EXPECT_EQ(firstUtf8Character("").length, 0u);
    const struct {
        std::string text;
        char32_t codePoint;
        std::size_t length;
    } cases[] = {{"a", U'a', 1},
                 {"\xC3\xA4x", U'ä', 2},
                 {"\xE2\x82\xAC", U'€', 3},
                 {"\xF0\x9F\x93\xB7", U'\U0001F4F7', 4},
                 {"\xF4\x8F\xBF\xBF", U'\U0010FFFF', 4}};
    for (const auto& c : cases) {
        const Utf8Character character = firstUtf8Character(c.text);
        EXPECT_EQ(character.codePoint, c.codePoint) << c.text;
        EXPECT_EQ(character.length, c.length) << c.text;
        std::string written;
        appendUtf8(written, c.codePoint);
        EXPECT_EQ(written, c.text.substr(0, c.length));
        EXPECT_TRUE(isUtf8(written));
    }
}

TEST(Utf8, NoMalformedSequenceIsACharacter) {
    for (const std::string& text : kNoCharacter) {
        EXPECT_EQ(firstUtf8Character(text).length, 0u) << text;
        EXPECT_FALSE(isUtf8(text)) << text;
        // A stored text of such bytes is Windows-1252, whatever UTF-8 it holds besides.
        EXPECT_TRUE(isUtf8(textFromStoredBytes(text)));
        EXPECT_NE(textFromStoredBytes(text), text);
    }
}

using Utf8SettingsTest = SettingsFileFixture;

// In a file of a byte-order mark a text is read one byte a character: what is no character is
// dropped: an overlong "/" must never pass for a "/".
TEST_F(Utf8SettingsTest, AFileOfByteOrderMarkDropsWhatIsNoCharacter) {
    put("\xEF\xBB\xBF[Optionen]\r\nname = a\xC0\xAF"
        "b\xED\xA0\x80"
        "c\xC3\xA4\xE2\x82\xAC\r\n");
    SettingsFile file;
    file.open(m_path);
    file.selectGroup("Optionen");
    EXPECT_EQ(file.readText("name", ""), "abc\xE4?");
}

}  // namespace
