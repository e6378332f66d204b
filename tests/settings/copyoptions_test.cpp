#include "settings/copyoptions.h"

#include <gtest/gtest.h>

#include <regex>

#include "../support/settingsfiletest.h"
#include "settings/credentialscrambling.h"

namespace {

using CopyOptionsTest = SettingsFileFixture;

std::string storedValue(const std::string& text, const std::string& key) {
    const std::regex line("\r\n" + key + " = ([^\r]*)\r\n");
    std::smatch found;
    return std::regex_search(text, found, line) ? found[1].str() : std::string("(none)");
}

TEST_F(CopyOptionsTest, AFileWithoutTheGroupGivesTheDefaultsAndStaysAsItIs) {
    const std::string classic = "[Optionen]\r\nuser = x\r\nkopie = 1\r\n";
    put(classic);
    EXPECT_EQ(loadCopyOptions(m_path), CopyOptions{});
    EXPECT_EQ(loadCopyOptions(m_path).folder, "sentello");
    EXPECT_EQ(contents(), classic);
}

TEST_F(CopyOptionsTest, ChosenOptionsComeBackWithUserAndPasswordScrambled) {
    CopyOptions options;
    options.on = true;
    options.protocol = static_cast<int>(CopyProtocol::Ftps);
    options.server = "kopie.example.org";
    options.port = 990;
    options.user = "j\xC3\xBCrgen";
    options.password = "sehr geheim";
    options.folder = "haus/keller";
    options.fingerprint = "SHA256:abc";
    saveCopyOptions(options, m_path);
    EXPECT_EQ(loadCopyOptions(m_path), options);
    const std::string text = contents();
    EXPECT_NE(text.find("[Kopie]\r\nkopie = 1\r\nkopieart = 1\r\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("sehr geheim"), std::string::npos);
    EXPECT_EQ(unscrambleCredential(storedValue(text, "kopiepass"), credentialKey), "sehr geheim");
    EXPECT_EQ(unscrambleCredential(storedValue(text, "kopieuser"), credentialKey), "j\xC3\xBCrgen");
    EXPECT_EQ(storedValue(text, "kopieordner"), "haus/keller");
    EXPECT_EQ(storedValue(text, "kopieschluessel"), "SHA256:abc");
}

TEST_F(CopyOptionsTest, SftpWithoutAPortTakes22AndAnyOtherProtocol21) {
    put("[Kopie]\r\nkopie = 1\r\nkopieart = 2\r\n");
    EXPECT_EQ(loadCopyOptions(m_path).port, 22);
    put("[Kopie]\r\nkopie = 1\r\nkopieart = 1\r\n");
    EXPECT_EQ(loadCopyOptions(m_path).port, 21);
    put("[Kopie]\r\nkopieart = 2\r\nkopieport = 2222\r\n");
    EXPECT_EQ(loadCopyOptions(m_path).port, 2222);
}

TEST_F(CopyOptionsTest, ValuesOutOfRangeAreTakenAtTheNearestEnd) {
    put("[Kopie]\r\nkopieart = 7\r\nkopieport = 70000\r\n");
    const CopyOptions options = loadCopyOptions(m_path);
    EXPECT_EQ(options.protocol, static_cast<int>(CopyProtocol::Sftp));
    EXPECT_EQ(options.port, 65535);
}

}  // namespace
