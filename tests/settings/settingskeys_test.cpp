#include "settings/settingskeys.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include "../tempfolder.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "../fakegadgets.h"
#include "settings/credentialscrambling.h"
#include "settings/gadgetaccess.h"

namespace {

namespace fs = std::filesystem;

class SettingsKeysTest : public testing::Test {
protected:
    std::string contents() const {
        std::ifstream in(m_path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    void put(const std::string& bytes) { std::ofstream(m_path, std::ios::binary) << bytes; }

    TempFolder m_temp;
    const fs::path& m_folder = m_temp.path();
    std::string m_path = (m_folder / "Sentello.prefs").string();
    FakeGadgets m_gadgets;
};

TEST_F(SettingsKeysTest, AFirstStartGivesTheDefaultsAndWritesNothing) {
    m_gadgets.setText(Gadget::pictureNameField, "sentello.jpg");
    loadGeneralSettings(m_gadgets, m_path);
    loadSlotValues(m_gadgets, m_path);
    EXPECT_EQ(m_gadgets.state(Gadget::mirrorCheck), 1);
    EXPECT_EQ(m_gadgets.itemText(Gadget::slotTabs, 0), "06:00");
    EXPECT_EQ(m_gadgets.itemText(Gadget::slotTabs, 3), "22:00");
    EXPECT_EQ(m_gadgets.state(Gadget::clipLengthSpin), 5);
    EXPECT_EQ(m_gadgets.state(Gadget::waitSpin), 3);
    EXPECT_EQ(m_gadgets.state(Gadget::uploadCheck), 0);
    EXPECT_EQ(m_gadgets.text(Gadget::pictureNameField), "") << "the empty default";
    EXPECT_EQ(m_gadgets.text(Gadget::userField), "");
    EXPECT_EQ(m_gadgets.state(Gadget::brightnessSlider), 128);
    EXPECT_EQ(m_gadgets.text(Gadget::triggerLabel), "Auslöser (Prozent): 25");
    EXPECT_FALSE(fs::exists(m_path));
}

TEST_F(SettingsKeysTest, ShutdownAfterAFirstStartWritesTheGeneralKeysInOrder) {
    loadGeneralSettings(m_gadgets, m_path);
    saveGeneralSettings(m_gadgets, m_path);
    EXPECT_EQ(contents(),
              "[Optionen]\r\nhspiegeln = 1\r\nuhrzeit1 = 06:00\r\nuhrzeit2 = 11:00\r\n"
              "uhrzeit3 = 18:00\r\nuhrzeit4 = 22:00\r\nhinweiston = 0\r\nsound = 0\r\n"
              "audioinfos = 0\r\nsounddatei = \r\nvideolaenge = 5\r\nwarten = 3\r\n"
              "eplayer = 0\r\nnovideo = 0\r\nupload = 0\r\nserver = \r\nuser = \r\npass = \r\n"
              "picname = \r\ntoolbild = 0\r\ntoolvideo = 0\r\neditbild = \r\neditvideo = \r\n");
}

TEST_F(SettingsKeysTest, OptionsComeBackAfterARestartWithTheCredentialsScrambled) {
    loadGeneralSettings(m_gadgets, m_path);
    m_gadgets.setState(Gadget::mirrorCheck, 0);
    m_gadgets.setItemText(Gadget::slotTabs, 2, "19:30");
    m_gadgets.setState(Gadget::waitSpin, 0);
    m_gadgets.setText(Gadget::soundFileField, "/home/jürgen/alarm.ogg");
    m_gadgets.setText(Gadget::userField, "kamera");
    m_gadgets.setText(Gadget::passwordField, "Passwört 1");
    saveGeneralSettings(m_gadgets, m_path);
    EXPECT_EQ(contents().find("kamera"), std::string::npos);
    EXPECT_EQ(contents().find("Passw"), std::string::npos);

    FakeGadgets restarted;
    loadGeneralSettings(restarted, m_path);
    EXPECT_EQ(restarted.state(Gadget::mirrorCheck), 0);
    EXPECT_EQ(restarted.itemText(Gadget::slotTabs, 2), "19:30");
    EXPECT_EQ(restarted.state(Gadget::waitSpin), 0);
    EXPECT_EQ(restarted.text(Gadget::soundFileField), "/home/jürgen/alarm.ogg");
    EXPECT_EQ(restarted.text(Gadget::userField), "kamera");
    EXPECT_EQ(restarted.text(Gadget::passwordField), "Passwört 1");
}

TEST_F(SettingsKeysTest, ASliderMoveWritesTheThreeValuesOfTheSelectedSlot) {
    put("[Optionen]\r\nwarten = 3\r\n");
    m_gadgets.setState(Gadget::slotTabs, 2);
    loadSlotValues(m_gadgets, m_path);
    m_gadgets.setState(Gadget::triggerSlider, 40);
    saveSlotValues(m_gadgets, m_path);
    EXPECT_EQ(contents(),
              "[Optionen]\r\nwarten = 3\r\nhelligkeit2 = 128\r\n"
              "empfindlichkeit2 = 50\r\nausloeser2 = 40\r\n");

    m_gadgets.setState(Gadget::slotTabs, 1);
    loadSlotValues(m_gadgets, m_path);
    EXPECT_EQ(m_gadgets.state(Gadget::triggerSlider), 25) << "slot 1 has no values yet";
    m_gadgets.setState(Gadget::slotTabs, 2);
    loadSlotValues(m_gadgets, m_path);
    EXPECT_EQ(m_gadgets.state(Gadget::triggerSlider), 40);
    EXPECT_EQ(m_gadgets.text(Gadget::triggerLabel), "Auslöser (Prozent): 40");
}

TEST_F(SettingsKeysTest, ResetWritesAllSlotValuesButLeavesTheStoredTimes) {
    put("[Optionen]\r\nuhrzeit1 = 05:00\r\nausloeser3 = 90\r\n");
    m_gadgets.setItemText(Gadget::slotTabs, 0, "05:00");
    m_gadgets.setState(Gadget::slotTabs, 3);
    loadSlotValues(m_gadgets, m_path);
    resetAllSlots(m_gadgets, m_path);
    EXPECT_EQ(m_gadgets.itemText(Gadget::slotTabs, 0), "06:00");
    EXPECT_EQ(m_gadgets.state(Gadget::triggerSlider), 25);
    EXPECT_EQ(m_gadgets.state(Gadget::slotTabs), 3);
    std::string expected = "[Optionen]\r\nuhrzeit1 = 05:00\r\nausloeser3 = 25\r\n";
    for (int slot = 0; slot < 3; ++slot) {
        const std::string n = std::to_string(slot);
        expected += "helligkeit" + n + " = 128\r\nempfindlichkeit" + n + " = 50\r\nausloeser" + n +
                    " = 25\r\n";
    }
    expected += "helligkeit3 = 128\r\nempfindlichkeit3 = 50\r\n";
    EXPECT_EQ(contents(), expected);
}

TEST_F(SettingsKeysTest, CredentialsOfTheWindowsProgramComeBackWithTheirUmlauts) {
    put("[Optionen]\r\nuser = " + scrambleCredential("J\xFCrgen", credentialKey) +
        "\r\npass = geheim\r\n");
    loadGeneralSettings(m_gadgets, m_path);
    EXPECT_EQ(m_gadgets.text(Gadget::userField), "Jürgen");
    EXPECT_EQ(m_gadgets.text(Gadget::passwordField), "") << "plain text is not a stored form";
}

}  // namespace
