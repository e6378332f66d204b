#include "settings/settingsfile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "../tempfolder.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "../support/settingsfiletest.h"
#include "settings/settingsfolder.h"

namespace {

namespace fs = std::filesystem;

class SettingsFileTest : public SettingsFileFixture {
protected:
    // Opens the file and selects "Optionen", as every use in the program does.
    SettingsFile& openOptions() {
        m_file.open(m_path);
        m_file.selectGroup("Optionen");
        return m_file;
    }

    SettingsFile m_file;
};

TEST_F(SettingsFileTest, GroupsAndKeysMatchWithoutRegardToCase) {
    put("[OPTIONEN]\r\nHSPIEGELN=0\r\n[ Optionen ]\r\nwarten = 9\r\n");
    SettingsFile& file = openOptions();
    EXPECT_EQ(file.readNumber("hspiegeln", 1), 0);
    EXPECT_EQ(file.readNumber("warten", 5), 5) << "only in the group with blanks in its name";
    EXPECT_TRUE(file.selectGroup(" Optionen "));
    EXPECT_EQ(file.readNumber("warten", 5), 9);
}

TEST_F(SettingsFileTest, NumbersAreTheDigitsAtTheStartOfTheValue) {
    put("[Optionen]\nvideolaenge = 12abc\nwarten = abc\nupload =\nausloeser0 =  -7 \n"
        "helligkeit0 = +42\nsensibel0 = 99999999999\n");
    SettingsFile& file = openOptions();
    EXPECT_EQ(file.readNumber("videolaenge", 5), 12);
    EXPECT_EQ(file.readNumber("warten", 5), 0);
    EXPECT_EQ(file.readNumber("upload", 5), 0);
    EXPECT_EQ(file.readNumber("missing", 5), 5);
    EXPECT_EQ(file.readNumber("ausloeser0", 5), -7);
    EXPECT_EQ(file.readNumber("helligkeit0", 5), 42);
    EXPECT_EQ(file.readNumber("sensibel0", 5), 2147483647);
}

TEST_F(SettingsFileTest, KeysOutsideTheGroupAreNotFoundAndTheFirstOfTwoWins) {
    put("hspiegeln = 0\n[Andere]\nwarten = 3\n[Optionen]\nuser = a\nUser = b\n");
    SettingsFile& file = openOptions();
    EXPECT_EQ(file.readNumber("hspiegeln", 1), 1);
    EXPECT_EQ(file.readNumber("warten", 1), 1);
    EXPECT_EQ(file.readText("user", ""), "a");
    file.writeText("USER", "c");
    file.close();
    EXPECT_EQ(contents(),
              "hspiegeln = 0\r\n[Andere]\r\nwarten = 3\r\n[Optionen]\r\nUSER = c\r\nUser = b\r\n");
}

TEST_F(SettingsFileTest, ReadingLeavesTheFileByteForByte) {
    const std::string original = "  ;no blank\n\n[optionen]\r\n\tkey=value = more  \rlonely\n";
    put(original);
    SettingsFile& file = openOptions();
    EXPECT_EQ(file.readText("key", ""), "value = more");
    EXPECT_EQ(file.readText("lonely", "x"), "");
    file.close();
    EXPECT_EQ(contents(), original);
}

TEST_F(SettingsFileTest, WritingNormalisesEveryLine) {
    put("  ;no blank\n\n[optionen]\r\n\tkey=value = more  \rlonely\n");
    openOptions().writeNumber("warten", 3);
    m_file.close();
    EXPECT_EQ(contents(),
              "; no blank\r\n[optionen]\r\nkey = value = more  \r\nlonely = \r\nwarten = 3\r\n");
}

TEST_F(SettingsFileTest, LinesWithoutEqualsAreKeysInEveryLineEnding) {
    for (const char* end : {"\r\n", "\n", "\r"}) {
        put(std::string("[Optionen]") + end + "upload" + end + "warten = 4" + end);
        SettingsFile& file = openOptions();
        EXPECT_EQ(file.readNumber("upload", 1), 0) << "line end " << int(end[0]);
        EXPECT_EQ(file.readNumber("warten", 1), 4);
        file.close();
    }
}

TEST_F(SettingsFileTest, NewKeysGoToTheEndOfTheirGroup) {
    put("top = 1\n[Optionen]\na = 1\n; note\n[Andere]\nb = 2\n");
    SettingsFile& file = openOptions();
    file.writeText("c", "3");
    file.selectGroup("");
    file.writeText("d", "4");
    file.close();
    EXPECT_EQ(
        contents(),
        "top = 1\r\nd = 4\r\n[Optionen]\r\na = 1\r\n; note\r\nc = 3\r\n[Andere]\r\nb = 2\r\n");
}

TEST_F(SettingsFileTest, AMissingGroupIsAppendedWithTheFirstWrite) {
    put("; Sentello\n[Andere]\nb = 2\n");
    SettingsFile& file = m_file;
    file.open(m_path);
    EXPECT_FALSE(file.selectGroup("Optionen"));
    EXPECT_EQ(file.readText("b", "none"), "none");
    file.writeNumber("warten", 0);
    file.writeNumber("upload", 1);
    file.close();
    EXPECT_EQ(contents(),
              "; Sentello\r\n[Andere]\r\nb = 2\r\n[Optionen]\r\nwarten = 0\r\nupload = 1\r\n");
}

TEST_F(SettingsFileTest, AMissingFileGivesDefaultsAndIsMadeByAWrite) {
    SettingsFile& file = m_file;
    EXPECT_FALSE(file.open(m_path));
    file.selectGroup("Optionen");
    EXPECT_EQ(file.readText("user", "none"), "none");
    file.close();
    EXPECT_FALSE(fs::exists(m_path)) << "nothing written, nothing made";

    file.open(m_path);
    file.selectGroup("Optionen");
    file.writeText("user", "");
    file.close();
    EXPECT_EQ(contents(), "[Optionen]\r\nuser = \r\n");
}

TEST_F(SettingsFileTest, ByteOrderMarkKeepsTheFileInUtf8) {
    put("\xEF\xBB\xBF[Optionen]\nname = \xC3\xA4\xE2\x82\xAC\xFFx\n");
    SettingsFile& file = openOptions();
    // ä is its byte, € is no single byte, a byte that begins nothing is dropped.
    EXPECT_EQ(file.readText("name", ""), "\xE4?x");
    file.writeText("sounddatei", "/home/j\xFCrgen");
    file.close();
    EXPECT_EQ(contents(),
              "\xEF\xBB\xBF\r\n[Optionen]\r\nname = \xC3\xA4\xE2\x82\xAC\xFFx\r\n"
              "sounddatei = /home/j\xC3\xBCrgen\r\n");
    EXPECT_EQ(openOptions().readText("sounddatei", ""), "/home/j\xFCrgen");
}

TEST_F(SettingsFileTest, BytesAreTheValuesAsTheFileHoldsThemWithOrWithoutMark) {
    for (const std::string mark : {"", "\xEF\xBB\xBF\r\n"}) {
        put(mark + "[Optionen]\r\nname = \t\xC5\x81\xFF\xE4 \r\n");
        SettingsFile& file = openOptions();
        EXPECT_EQ(file.readBytes("name", "-"), "\xC5\x81\xFF\xE4");
        EXPECT_EQ(file.readBytes("fehlt", "-"), "-");
        file.writeBytes("neu", "M\xFCll \xC3\xA4");
        file.close();
        EXPECT_EQ(contents(),
                  mark + "[Optionen]\r\nname = \xC5\x81\xFF\xE4 \r\nneu = M\xFCll \xC3\xA4\r\n");
    }
}

TEST_F(SettingsFileTest, CreateEmptiesAnExistingFile) {
    put("[Optionen]\nwarten = 3\n");
    EXPECT_TRUE(m_file.create(m_path));
    m_file.close();
    EXPECT_EQ(contents(), "");
}

TEST_F(SettingsFileTest, AFileOpenElsewhereIsReadButNotWritten) {
    put("[Optionen]\nwarten = 3\n");
    SettingsFile first;
    first.open(m_path);
    SettingsFile& second = openOptions();
    EXPECT_EQ(second.readNumber("warten", 0), 3);
    second.writeNumber("warten", 7);
    second.close();
    first.close();
    EXPECT_EQ(contents(), "[Optionen]\nwarten = 3\n");

    // Once the first is closed, writes go through again.
    openOptions().writeNumber("warten", 7);
    m_file.close();
    EXPECT_EQ(contents(), "[Optionen]\r\nwarten = 7\r\n");
}

TEST_F(SettingsFileTest, AFailedWriteLeavesTheOldFileWhole) {
    put("[Optionen]\nwarten = 3\n");
    // A disk that takes only a few bytes more (the process's file size limit), and a folder
    // where the name a temporary file once had is taken.
    fs::create_directory(m_path + ".new");
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlimit small{16, limit.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    openOptions().writeNumber("warten", 7);
    m_file.close();
    ::setrlimit(RLIMIT_FSIZE, &limit);
    EXPECT_EQ(contents(), "[Optionen]\nwarten = 3\n");
    EXPECT_TRUE(fs::is_directory(m_path + ".new"));
}

TEST_F(SettingsFileTest, AMissingFolderLosesTheWritesQuietly) {
    const std::string path = (m_folder / "gone" / "Sentello.prefs").string();
    EXPECT_FALSE(m_file.open(path));
    m_file.selectGroup("Optionen");
    m_file.writeNumber("warten", 7);
    m_file.close();
    EXPECT_FALSE(fs::exists(path));
}

TEST(SettingsFolder, OneFolderPerProgramFolderUnderTheHomeFolder) {
    EXPECT_EQ(programFolderName("/usr/local/bin/"), "_usr_local_bin");
    EXPECT_EQ(programFolderName("D:\\Tools\\Cam Watch\\"), "D_Tools_CamWatch");
    EXPECT_EQ(programFolderName("/opt/my cam/"), "_opt_mycam");

    const TempFolder temp;
    const fs::path& home = temp.path();
    const std::string folder = prepareSettingsFolder(home.string(), "/usr/local/bin/");
    EXPECT_EQ(folder, home.string() + "/Sentello/_usr_local_bin/");
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_EQ(settingsFilePath(folder), folder + "Sentello.prefs");
    // A second start finds what the first made.
    EXPECT_EQ(prepareSettingsFolder(home.string() + "/", "/usr/local/bin/"), folder);
    // A profile has a folder of its own inside, and clip names of its own.
    const std::string garden = prepareSettingsFolder(home.string(), "/usr/local/bin/", "Garten");
    EXPECT_EQ(garden, folder + "Garten/");
    EXPECT_TRUE(fs::is_directory(garden));
    EXPECT_EQ(clipStem(""), "Video_Sentello_");
    EXPECT_EQ(clipStem("Garten"), "Video_Sentello_Garten_");
}

}  // namespace
