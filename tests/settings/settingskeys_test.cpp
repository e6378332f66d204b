// The group "Optionen" as plain values against the file: what the window's gadgets are given
// at start-up and what they hand back at shutdown and at every slider step.

#include "settings/settingskeys.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "../support/settingsfiletest.h"
#include "settings/credentialscrambling.h"

namespace {

namespace fs = std::filesystem;

using SettingsKeysTest = SettingsFileFixture;

// A file of a user of many years: keys in capitals, values beyond any gadget's range, a
// Windows-1252 file name, a stored and a plain credential, keys of its own, and a slot's
// values that are no numbers.
std::string longUsedFile() {
    return "; kept\r\n[OPTIONEN]\r\nHSPIEGELN = 7\r\nuhrzeit2 =  07:15  \r\n"
           "sounddatei = /tmp/M\xFC"
           "ll.wav\r\nvideolaenge = 99999999999\r\nwarten = -4\r\nuser = " +
           scrambleCredential(
               "J\xFC"
               "rgen",
               credentialKey) +
           "\r\npass = geheim\r\nfremd = 1\r\nausloeser1 = 300\r\nhelligkeit1 = x\r\n"
           "[Kamera]\r\ncodec = mpeg4\r\n";
}

// The scrambled user differs at every write: it is compared once unscrambled.
std::string withoutScrambledUser(const std::string& text, std::string& user) {
    static const std::regex line("\r\nuser = ([^\r]*)\r\n");
    std::smatch found;
    if (std::regex_search(text, found, line))
        user = unscrambleCredential(found[1].str(), credentialKey);
    return std::regex_replace(text, line, "\r\nuser = *\r\n");
}

TEST_F(SettingsKeysTest, AFirstStartGivesTheDefaultsAndWritesNothing) {
    const GeneralSettings settings = readGeneralSettings(m_path);
    EXPECT_EQ(settings, GeneralSettings{});
    EXPECT_EQ(settings.mirror, 1);
    EXPECT_EQ(settings.slotTimes, (std::vector<std::string>{"06:00", "11:00", "18:00", "22:00"}));
    EXPECT_EQ(settings.clipLength, 5);
    EXPECT_EQ(settings.wait, 3);
    EXPECT_EQ(readSlotValues(2, m_path), (SlotValues{128, 50, 25}));
    EXPECT_FALSE(fs::exists(m_path));
}

TEST_F(SettingsKeysTest, TheDefaultsAreWrittenInTheKeysOrder) {
    writeGeneralSettings(GeneralSettings{}, m_path);
    EXPECT_EQ(contents(),
              "[Optionen]\r\nhspiegeln = 1\r\nuhrzeit1 = 06:00\r\nuhrzeit2 = 11:00\r\n"
              "uhrzeit3 = 18:00\r\nuhrzeit4 = 22:00\r\nhinweiston = 0\r\nsound = 0\r\n"
              "audioinfos = 0\r\nsounddatei = \r\nvideolaenge = 5\r\nwarten = 3\r\n"
              "eplayer = 0\r\nnovideo = 0\r\nupload = 0\r\nserver = \r\nuser = \r\npass = \r\n"
              "picname = \r\ntoolbild = 0\r\ntoolvideo = 0\r\neditbild = \r\neditvideo = \r\n");
}

// Numbers are not kept within ranges here (the gadgets do that), only within 32 bits; a plain
// text where a scrambled credential belongs reads as none.
TEST_F(SettingsKeysTest, ALongUsedFileIsReadAsItStands) {
    put(longUsedFile());
    const GeneralSettings settings = readGeneralSettings(m_path);
    EXPECT_EQ(settings.mirror, 7);
    EXPECT_EQ(settings.slotTimes, (std::vector<std::string>{"06:00", "07:15", "18:00", "22:00"}));
    EXPECT_EQ(settings.soundFile, "/tmp/M\xFCll.wav");
    EXPECT_EQ(settings.clipLength, 2147483647);
    EXPECT_EQ(settings.wait, -4);
    EXPECT_EQ(settings.user, "J\xFCrgen");
    EXPECT_EQ(settings.password, "");
    EXPECT_EQ(readSlotValues(1, m_path), (SlotValues{0, 50, 300}));
}

// The bytes the window's gadgets made of this file before the settings were plain values.
TEST_F(SettingsKeysTest, ALongUsedFileIsWrittenBackAsBefore) {
    put(longUsedFile());
    writeGeneralSettings(readGeneralSettings(m_path), m_path);
    const std::string general =
        "; kept\r\n[OPTIONEN]\r\nhspiegeln = 7\r\nuhrzeit2 = 07:15\r\n"
        "sounddatei = /tmp/M\xFC"
        "ll.wav\r\nvideolaenge = 2147483647\r\nwarten = -4\r\nuser = *\r\npass = \r\n"
        "fremd = 1\r\nausloeser1 = 300\r\nhelligkeit1 = x\r\nuhrzeit1 = 06:00\r\n"
        "uhrzeit3 = 18:00\r\nuhrzeit4 = 22:00\r\nhinweiston = 0\r\nsound = 0\r\n"
        "audioinfos = 0\r\neplayer = 0\r\nnovideo = 0\r\nupload = 0\r\nserver = \r\n"
        "picname = \r\ntoolbild = 0\r\ntoolvideo = 0\r\neditbild = \r\neditvideo = \r\n";
    std::string user;
    EXPECT_EQ(withoutScrambledUser(contents(), user), general + "[Kamera]\r\ncodec = mpeg4\r\n");
    EXPECT_EQ(user, "J\xFCrgen");

    writeSlotValues(1, readSlotValues(1, m_path), m_path);
    const std::string slot = "empfindlichkeit1 = 50\r\n";
    EXPECT_EQ(withoutScrambledUser(contents(), user),
              std::regex_replace(general, std::regex("helligkeit1 = x"), "helligkeit1 = 0") + slot +
                  "[Kamera]\r\ncodec = mpeg4\r\n");

    writeEverySlot(SlotValues{}, m_path);
    std::string everySlot =
        std::regex_replace(general, std::regex("ausloeser1 = 300\r\nhelligkeit1 = x"),
                           "ausloeser1 = 25\r\nhelligkeit1 = 128") +
        slot;
    for (const char* n : {"0", "2", "3"}) {
        everySlot += std::string("helligkeit") + n + " = 128\r\nempfindlichkeit" + n +
                     " = 50\r\nausloeser" + n + " = 25\r\n";
    }
    EXPECT_EQ(withoutScrambledUser(contents(), user), everySlot + "[Kamera]\r\ncodec = mpeg4\r\n");
}

TEST_F(SettingsKeysTest, EverySettingComesBackAfterARestart) {
    const GeneralSettings chosen{0,
                                 {"05:00", "10:30", "19:30", "23:59"},
                                 1,
                                 1,
                                 1,
                                 "/home/j\xC3\xBCrgen/alarm.ogg",
                                 60,
                                 0,
                                 1,
                                 1,
                                 1,
                                 "ftp.example.org",
                                 "kamera",
                                 "Passw\xC3\xB6rt 1",
                                 "bild.jpg",
                                 1,
                                 1,
                                 "/usr/bin/gimp",
                                 "/usr/bin/vlc"};
    writeGeneralSettings(chosen, m_path);
    EXPECT_EQ(contents().find("kamera"), std::string::npos);
    EXPECT_EQ(contents().find("Passw"), std::string::npos);
    EXPECT_EQ(readGeneralSettings(m_path), chosen);

    writeSlotValues(3, {200, 10, 90}, m_path);
    EXPECT_EQ(readSlotValues(3, m_path), (SlotValues{200, 10, 90}));
    EXPECT_EQ(readSlotValues(0, m_path), SlotValues{}) << "another slot keeps its defaults";
    EXPECT_EQ(readGeneralSettings(m_path), chosen);
}

}  // namespace
