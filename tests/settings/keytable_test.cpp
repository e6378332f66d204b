// The shared key table: its two loops over the members of a plain value struct.

#include "settings/keytable.h"

#include <gtest/gtest.h>

#include <array>

#include "../support/settingsfiletest.h"
#include "settings/credentialscrambling.h"

namespace {

struct Sample {
    int count = 5;
    int level = 50;
    bool flag = true;
    std::string name = "Name";
    std::string bytes = "b\xFC";
    std::string secret;
    std::vector<std::string> items{"eins", "zwei"};
};

constexpr std::array<SettingKey<Sample>, 8> kSampleKeys{{
    {"anzahl", KeyKind::Number, &Sample::count},
    {"stufe", KeyKind::Number, &Sample::level, {0, 100}},
    {"schalter", KeyKind::Flag, &Sample::flag},
    {"name", KeyKind::Text, &Sample::name},
    {"bytes", KeyKind::Bytes, &Sample::bytes},
    {"geheim", KeyKind::Credential, &Sample::secret},
    {"punkt1", KeyKind::Bytes, &Sample::items, {}, 0},
    {"punkt2", KeyKind::Bytes, &Sample::items, {}, 1},
}};

struct KeyTableTest : SettingsFileFixture {
    Sample read(std::string_view suffix = {}) {
        SettingsFile file;
        file.open(m_path);
        file.selectGroup("Probe");
        Sample sample;
        readKeys(file, kSampleKeys, sample, suffix);
        return sample;
    }
    void write(const Sample& sample, std::string_view suffix = {}) {
        SettingsFile file;
        ASSERT_TRUE(openForWriting(file, m_path, "Probe"));
        writeKeys(file, kSampleKeys, sample, suffix);
    }
};

TEST_F(KeyTableTest, MissingKeysKeepTheStructsDefaults) {
    put("[Probe]\r\nstufe = 7\r\n[Andere]\r\nanzahl = 9\r\n");
    const Sample sample = read();
    EXPECT_EQ(sample.count, 5) << "a key of another group is not this one's";
    EXPECT_EQ(sample.level, 7);
    EXPECT_TRUE(sample.flag);
    EXPECT_EQ(sample.name, "Name");
    EXPECT_EQ(sample.bytes, "b\xFC");
    EXPECT_EQ(sample.secret, "");
    EXPECT_EQ(sample.items, (std::vector<std::string>{"eins", "zwei"}));
}

TEST_F(KeyTableTest, NumbersStopAtTheEndsOfTheirRangeAndFlagsAreAnyNumberButZero) {
    put("[Probe]\r\nanzahl = -99999999999\r\nstufe = 101\r\nschalter = 0\r\n");
    Sample sample = read();
    EXPECT_EQ(sample.count, INT32_MIN);
    EXPECT_EQ(sample.level, 100);
    EXPECT_FALSE(sample.flag);
    put("[Probe]\r\nstufe = -1\r\nschalter = -3\r\n");
    sample = read();
    EXPECT_EQ(sample.level, 0);
    EXPECT_TRUE(sample.flag);
}

TEST_F(KeyTableTest, WritesInTheTablesOrderEachTextInItsStoredForm) {
    put("\xEF\xBB\xBF[Probe]\r\nname = x\r\n");
    Sample sample;
    sample.flag = false;
    sample.name = "K\xE4se";
    sample.secret = "Passw\xC3\xB6rt";
    sample.items[1] = "drei";
    write(sample);
    const std::string text = contents();
    const std::string scrambled = text.substr(text.find("geheim = ") + 9, 44);
    EXPECT_EQ(unscrambleCredential(scrambled, credentialKey), "Passw\xC3\xB6rt");
    EXPECT_EQ(text,
              "\xEF\xBB\xBF\r\n[Probe]\r\nname = K\xC3\xA4se\r\nanzahl = 5\r\nstufe = 50\r\n"
              "schalter = 0\r\nbytes = b\xFC\r\ngeheim = " +
                  scrambled + "\r\npunkt1 = eins\r\npunkt2 = drei\r\n");
    EXPECT_EQ(read().name, "K\xE4se") << "a text in the file's own form";
    EXPECT_EQ(read().secret, "Passw\xC3\xB6rt");
    EXPECT_EQ(read().items[1], "drei");
}

TEST_F(KeyTableTest, ASuffixMakesKeysOfTheirOwn) {
    Sample slot3;
    slot3.count = 3;
    write(slot3, "3");
    EXPECT_NE(contents().find("\r\nanzahl3 = 3\r\n"), std::string::npos) << contents();
    EXPECT_EQ(read("3").count, 3);
    EXPECT_EQ(read("2").count, 5);
    EXPECT_EQ(read().count, 5);
}

}  // namespace
