// The settings file where something other than a settings file stands, or where the folder
// takes no new file, and values that would make lines of their own.

#include "settings/settingsfile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "../boundedcall.h"
#include "../support/readonlyfolder.h"
#include "../tempfolder.h"

namespace {

namespace fs = std::filesystem;

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct HostileSettings : testing::Test {
    TempFolder temp;
    std::string path = (temp / "Sentello.prefs").string();

    // Opens, reads one key and writes another, as a start and a slider move would; whether
    // that ended in time.
    bool readAndWrite(int& read) {
        return endsWithin(std::chrono::seconds(10), [this, &read] {
            SettingsFile file;
            file.open(path);
            file.selectGroup("Optionen");
            read = file.readNumber("warten", 3);
            file.writeNumber("ausloeser0", 40);
            file.close();
        });
    }
};

TEST_F(HostileSettings, AFifoIsNoSettingsFileAndStaysAFifo) {
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    int read = 0;
    ASSERT_TRUE(readAndWrite(read)) << "opening a FIFO hangs";
    EXPECT_EQ(read, 3);
    struct stat status {};
    ASSERT_EQ(::stat(path.c_str(), &status), 0);
    EXPECT_TRUE(S_ISFIFO(status.st_mode));
}

TEST_F(HostileSettings, ALinkToADeviceGivesDefaultsAndIsNotWrittenThrough) {
    fs::create_symlink("/dev/zero", path);
    int read = 0;
    ASSERT_TRUE(readAndWrite(read)) << "reading /dev/zero does not end";
    EXPECT_EQ(read, 3);
    EXPECT_TRUE(fs::is_symlink(path));
    EXPECT_EQ(fs::read_symlink(path), "/dev/zero");
}

TEST_F(HostileSettings, AFileFarLargerThanSettingsIsNotRead) {
    std::ofstream(path, std::ios::binary) << "[Optionen]\r\nwarten = 9\r\n"
                                          << std::string(2 * 1024 * 1024, ';');
    SettingsFile file;
    EXPECT_FALSE(file.open(path));
    file.selectGroup("Optionen");
    EXPECT_EQ(file.readNumber("warten", 3), 3);
}

TEST_F(HostileSettings, ALinkToASettingsFileElsewhereIsWrittenThrough) {
    const fs::path kept = temp / "dotfiles" / "Sentello.prefs";
    fs::create_directories(kept.parent_path());
    std::ofstream(kept, std::ios::binary) << "[Optionen]\r\nwarten = 9\r\n";
    fs::create_symlink(kept, path);
    int read = 0;
    ASSERT_TRUE(readAndWrite(read));
    EXPECT_EQ(read, 9);
    EXPECT_TRUE(fs::is_symlink(path));
    EXPECT_EQ(readAll(kept), "[Optionen]\r\nwarten = 9\r\nausloeser0 = 40\r\n");
}

TEST_F(HostileSettings, AValueWithALineBreakIsNotWritten) {
    std::ofstream(path, std::ios::binary) << "[Optionen]\r\nsounddatei = /tmp/alarm.wav\r\n";
    SettingsFile file;
    file.open(path);
    file.selectGroup("Optionen");
    file.writeText("sounddatei", "alarm\r\nupload = 1\r\nserver = evil.example.org\r\nx.wav");
    file.writeBytes("server", std::string("a\0b", 3));
    file.writeText("editbild", "line\nbreak");
    file.writeNumber("warten", 4);
    file.close();
    EXPECT_EQ(readAll(path), "[Optionen]\r\nsounddatei = /tmp/alarm.wav\r\nwarten = 4\r\n");
}

// The folder takes no new file, the file itself may be written: it is rewritten in place.
TEST_F(HostileSettings, AReadOnlyFolderWithAWritableFileStillTakesTheWrite) {
    std::ofstream(path, std::ios::binary) << "[Optionen]\r\nwarten = 9\r\n";
    EXPECT_EQ(exitCodeInReadOnlyFolder(temp.path(), path,
                                       [&] {
                                           SettingsFile file;
                                           file.open(path);
                                           file.selectGroup("Optionen");
                                           file.writeNumber("warten", 7);
                                           file.close();
                                           return 0;
                                       }),
              0);
    EXPECT_EQ(readAll(path), "[Optionen]\r\nwarten = 7\r\n");
}

}  // namespace
