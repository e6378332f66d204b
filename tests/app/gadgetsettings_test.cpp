#include "app/gadgetsettings.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include "../tempfolder.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "../support/settingsfiletest.h"
#include "app/gadgetaccess.h"
#include "fakegadgets.h"
#include "settings/credentialscrambling.h"
#include "settings/settingsfile.h"
#include "settings/settingskeys.h"

namespace {

namespace fs = std::filesystem;

class GadgetSettingsTest : public SettingsFileFixture {
protected:
    FakeGadgets m_gadgets;
};

TEST_F(GadgetSettingsTest, AFirstStartGivesTheDefaultsAndWritesNothing) {
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

TEST_F(GadgetSettingsTest, ShutdownAfterAFirstStartWritesTheGeneralKeysInOrder) {
    loadGeneralSettings(m_gadgets, m_path);
    saveGeneralSettings(m_gadgets, m_path);
    EXPECT_EQ(contents(),
              "[Optionen]\r\nhspiegeln = 1\r\nuhrzeit1 = 06:00\r\nuhrzeit2 = 11:00\r\n"
              "uhrzeit3 = 18:00\r\nuhrzeit4 = 22:00\r\nhinweiston = 0\r\nsound = 0\r\n"
              "audioinfos = 0\r\nsounddatei = \r\nvideolaenge = 5\r\nwarten = 3\r\n"
              "eplayer = 0\r\nnovideo = 0\r\nupload = 0\r\nserver = \r\nuser = \r\npass = \r\n"
              "picname = \r\ntoolbild = 0\r\ntoolvideo = 0\r\neditbild = \r\neditvideo = \r\n");
}

TEST_F(GadgetSettingsTest, OptionsComeBackAfterARestartWithTheCredentialsScrambled) {
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

TEST_F(GadgetSettingsTest, ASliderMoveWritesTheThreeValuesOfTheSelectedSlot) {
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

TEST_F(GadgetSettingsTest, ResetWritesAllSlotValuesButLeavesTheStoredTimes) {
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

TEST_F(GadgetSettingsTest, CredentialsOfTheWindowsProgramComeBackWithTheirUmlauts) {
    put("[Optionen]\r\nuser = " + scrambleCredential("J\xFCrgen", credentialKey) +
        "\r\npass = geheim\r\n");
    loadGeneralSettings(m_gadgets, m_path);
    EXPECT_EQ(m_gadgets.text(Gadget::userField), "Jürgen");
    EXPECT_EQ(m_gadgets.text(Gadget::passwordField), "") << "plain text is not a stored form";
}

// Values of the older Windows program are Windows-1252 bytes; file names on Linux are bytes.
// Whatever nobody changed has to go back into the file as it came.
TEST_F(GadgetSettingsTest, Windows1252ValuesShowTheirUmlautsAndStayTheSameBytes) {
    put("[Optionen]\r\nsounddatei = /tmp/M\xFCll.wav\r\nserver = h\xE9te\r\n"
        "editvideo = /opt/Schnitt\x80/\xC4nderung\r\n");
    loadGeneralSettings(m_gadgets, m_path);
    EXPECT_EQ(m_gadgets.text(Gadget::soundFileField), "/tmp/Müll.wav");
    EXPECT_EQ(m_gadgets.text(Gadget::serverField), "héte");
    EXPECT_EQ(m_gadgets.text(Gadget::videoToolField), "/opt/Schnitt€/Änderung");
    EXPECT_EQ(m_gadgets.storedText(Gadget::soundFileField), "/tmp/M\xFCll.wav");
    saveGeneralSettings(m_gadgets, m_path);
    const std::string saved = contents();
    EXPECT_NE(saved.find("\r\nsounddatei = /tmp/M\xFCll.wav\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("\r\nserver = h\xE9te\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("\r\neditvideo = /opt/Schnitt\x80/\xC4nderung\r\n"), std::string::npos)
        << saved;
}

TEST_F(GadgetSettingsTest, AChangedValueIsWrittenAsUtf8AndAChangeUndoneAsTheOldBytes) {
    put("[Optionen]\r\nsounddatei = /tmp/M\xFCll.wav\r\nserver = h\xE9te\r\n");
    loadGeneralSettings(m_gadgets, m_path);
    m_gadgets.setText(Gadget::serverField, "höhe.example");
    m_gadgets.setText(Gadget::soundFileField, "/tmp/Mü");
    m_gadgets.setText(Gadget::soundFileField, "/tmp/Müll.wav");
    saveGeneralSettings(m_gadgets, m_path);
    const std::string saved = contents();
    EXPECT_NE(saved.find("\r\nserver = h\xC3\xB6he.example\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("\r\nsounddatei = /tmp/M\xFCll.wav\r\n"), std::string::npos) << saved;
}

TEST_F(GadgetSettingsTest, AFileWithByteOrderMarkKeepsItsUtf8ValuesAndTheMark) {
    // "ä", and "Ł" and "ź" beyond U+00FF, as UTF-8.
    const std::string sound = "/tmp/K\xC3\xA4se.wav";
    const std::string server =
        "\xC5\x81\xC3\xB3"
        "d\xC5\xBA.example";
    put("\xEF\xBB\xBF[Optionen]\r\nsounddatei = " + sound + "\r\nserver = " + server +
        "\r\npicname = bild.jpg\r\n");
    loadGeneralSettings(m_gadgets, m_path);
    EXPECT_EQ(m_gadgets.text(Gadget::soundFileField), "/tmp/Käse.wav");
    EXPECT_EQ(m_gadgets.text(Gadget::serverField), "Łódź.example");
    m_gadgets.setText(Gadget::pictureNameField, "Bäume.jpg");
    saveGeneralSettings(m_gadgets, m_path);
    const std::string saved = contents();
    EXPECT_TRUE(saved.starts_with("\xEF\xBB\xBF\r\n[Optionen]\r\n")) << saved;
    EXPECT_NE(saved.find("\r\nsounddatei = " + sound + "\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("\r\nserver = " + server + "\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("\r\npicname = B\xC3\xA4ume.jpg\r\n"), std::string::npos) << saved;

    FakeGadgets restarted;
    loadGeneralSettings(restarted, m_path);
    EXPECT_EQ(restarted.text(Gadget::serverField), "Łódź.example");
    EXPECT_EQ(restarted.text(Gadget::pictureNameField), "Bäume.jpg");
}

TEST_F(GadgetSettingsTest, AWindows1252PasswordGoesOutAndIsStoredAgainAsItsOwnBytes) {
    const std::string password =
        "Gr\xFC\xDF"
        "e 1";
    put("[Optionen]\r\nuser = " + scrambleCredential("J\xFCrgen", credentialKey) +
        "\r\npass = " + scrambleCredential(password, credentialKey) + "\r\n");
    loadGeneralSettings(m_gadgets, m_path);
    EXPECT_EQ(m_gadgets.text(Gadget::passwordField), "Grüße 1");
    EXPECT_EQ(m_gadgets.storedText(Gadget::passwordField), password) << "what the server gets";
    m_gadgets.setText(Gadget::userField, "Jörg");
    saveGeneralSettings(m_gadgets, m_path);

    SettingsFile file;
    file.open(m_path);
    file.selectGroup(kOptionsGroup);
    EXPECT_EQ(unscrambleCredential(file.readText("pass", ""), credentialKey), password);
    EXPECT_EQ(unscrambleCredential(file.readText("user", ""), credentialKey), "J\xC3\xB6rg")
        << "a changed name as UTF-8";
}

}  // namespace
