#include "settings/advancedoptions.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "../support/settingsfiletest.h"

namespace {

using AdvancedOptionsTest = SettingsFileFixture;

TEST_F(AdvancedOptionsTest, AFileWithoutTheGroupGivesTheDefaultsAndStaysAsItIs) {
    const std::string classic = "[Optionen]\r\nhspiegeln = 1\r\nvorlauf = 7\r\n";
    put(classic);
    EXPECT_EQ(loadAdvancedOptions(m_path), AdvancedOptions{});
    EXPECT_EQ(contents(), classic);
    EXPECT_EQ(loadAdvancedOptions((m_temp.path() / "missing").string()), AdvancedOptions{});
    EXPECT_FALSE(std::filesystem::exists(m_temp.path() / "missing"));
}

TEST_F(AdvancedOptionsTest, AreWrittenAsTheirOwnGroupAfterTheClassicKeys) {
    put("[Optionen]\r\nhspiegeln = 0\r\n");
    const std::string mask(300, 'f');
    saveAdvancedOptions({3, true, mask, 45, 500, true, true, 60}, m_path);
    EXPECT_EQ(contents(),
              "[Optionen]\r\nhspiegeln = 0\r\n[Erweitert]\r\nvorlauf = 3\r\n"
              "lichtausgleich = 1\r\nmaske = " +
                  mask +
                  "\r\nkameraalarm = 45\r\nspeichergrenze = 500\r\nbenachrichtigung = 1\r\n"
                  "referenz = 1\r\nreferenzzeit = 60\r\nautostart = 0\r\n");
    EXPECT_EQ(loadAdvancedOptions(m_path),
              (AdvancedOptions{3, true, mask, 45, 500, true, true, 60}));

    // Written again in place, the group keeps its place and the classic keys theirs.
    saveAdvancedOptions({0, false, "", 0, 0, false, false, 10}, m_path);
    EXPECT_EQ(contents(),
              "[Optionen]\r\nhspiegeln = 0\r\n[Erweitert]\r\nvorlauf = 0\r\n"
              "lichtausgleich = 0\r\nmaske = \r\nkameraalarm = 0\r\nspeichergrenze = 0\r\n"
              "benachrichtigung = 0\r\nreferenz = 0\r\nreferenzzeit = 10\r\nautostart = 0\r\n");
}

TEST_F(AdvancedOptionsTest, ValuesOutsideTheirRangesStopAtTheNearestEnd) {
    put("[erweitert]\r\nVORLAUF = 99\r\nlichtausgleich = 5\r\nkameraalarm = -3\r\n"
        "speichergrenze = -7\r\nreferenz = 7\r\nreferenzzeit = 0\r\n");
    AdvancedOptions options = loadAdvancedOptions(m_path);
    EXPECT_TRUE(options.backgroundReference);
    EXPECT_EQ(options.backgroundSeconds, 1);
    EXPECT_EQ(options.preTriggerSeconds, 10);
    EXPECT_TRUE(options.lightCompensation);
    EXPECT_EQ(options.cameraAlarmSeconds, 0);
    EXPECT_EQ(options.storageLimitMb, 0);
    put("[Erweitert]\r\nvorlauf = -1\r\nkameraalarm = 99999999999\r\n"
        "speichergrenze = 2000000\r\nreferenzzeit = 121\r\n");
    options = loadAdvancedOptions(m_path);
    EXPECT_EQ(options.backgroundSeconds, 120);
    EXPECT_EQ(options.preTriggerSeconds, 0);
    EXPECT_EQ(options.cameraAlarmSeconds, 300);
    EXPECT_EQ(options.storageLimitMb, 1'000'000);
}

// The bytes the options made of such a file before their keys were a table.
TEST_F(AdvancedOptionsTest, AGroupOfOddValuesIsWrittenBackAsBefore) {
    put("[erweitert]\r\nVORLAUF = 99\r\nlichtausgleich = -5\r\nmaske = \xFF"
        "abc\r\nkameraalarm = -3\r\nfremd = 2\r\nreferenzzeit = 0\r\n[Optionen]\r\nwarten = 3\r\n");
    saveAdvancedOptions(loadAdvancedOptions(m_path), m_path);
    EXPECT_EQ(
        contents(),
        "[erweitert]\r\nvorlauf = 10\r\nlichtausgleich = 1\r\nmaske = \xFF"
        "abc\r\nkameraalarm = 0\r\nfremd = 2\r\nreferenzzeit = 1\r\nspeichergrenze = 0\r\n"
        "benachrichtigung = 0\r\nreferenz = 0\r\nautostart = 0\r\n[Optionen]\r\nwarten = 3\r\n");
}

}  // namespace
