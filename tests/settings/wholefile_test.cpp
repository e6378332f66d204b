// The whole-file write of the settings and the pictures, where the folder is shared with
// others or takes no new file, and where the disk fails half-way.

#include "settings/wholefile.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "../support/readonlyfolder.h"
#include "../tempfolder.h"

namespace {

namespace fs = std::filesystem;

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

mode_t modeOf(const fs::path& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

struct WholeFileTest : testing::Test {
    TempFolder temp;
    fs::path path = temp / "Sentello.prefs";
};

TEST_F(WholeFileTest, ReplacesTheFileWithTheGivenModeAndLeavesNothingBeside) {
    std::ofstream(path) << "old";
    ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
    EXPECT_EQ(writeWholeFile(path, "new text", 0640), std::nullopt);
    EXPECT_EQ(readAll(path), "new text");
    EXPECT_EQ(modeOf(path), 0640u);
    EXPECT_EQ(namesIn(temp.path()), std::vector<std::string>{"Sentello.prefs"});
}

// Another user of a shared folder plants a link, or a file of their own, at the name a
// temporary file once had: neither is followed or written, nor stands in the way.
TEST_F(WholeFileTest, WhatIsPlantedBesideTheFileIsNeitherFollowedNorWritten) {
    std::ofstream(path) << "old";
    const fs::path victim = temp / "victim";
    std::ofstream(victim) << "someone else's file";
    fs::create_symlink(victim, path.string() + ".new");
    const fs::path picture = temp / "sentello.jpg";
    const fs::path planted = temp / "sentello.jpg.new";
    std::ofstream(planted) << "planted";
    ASSERT_EQ(::chmod(planted.c_str(), 0666), 0);
    for (int write = 0; write < 3; ++write) {
        EXPECT_EQ(writeWholeFile(path, "new text", 0600), std::nullopt);
        EXPECT_EQ(writeWholeFile(picture, "picture", 0600), std::nullopt);
    }
    EXPECT_EQ(readAll(path), "new text");
    EXPECT_EQ(readAll(picture), "picture");
    EXPECT_EQ(modeOf(picture), 0600u);
    EXPECT_EQ(readAll(victim), "someone else's file");
    EXPECT_TRUE(fs::is_symlink(path.string() + ".new"));
    EXPECT_EQ(readAll(planted), "planted");
    EXPECT_EQ(namesIn(temp.path()),
              (std::vector<std::string>{"Sentello.prefs", "Sentello.prefs.new", "sentello.jpg",
                                        "sentello.jpg.new", "victim"}));
}

// The folder takes no new file, the file itself may be written: it is rewritten in place.
TEST_F(WholeFileTest, AFolderThatTakesNoNewFileHasTheFileRewrittenInPlace) {
    std::ofstream(path) << "a longer old text";
    EXPECT_EQ(
        exitCodeInReadOnlyFolder(temp.path(), path,
                                 [&] { return writeWholeFile(path, "new text", 0600) ? 1 : 0; }),
        0);
    EXPECT_EQ(readAll(path), "new text");
}

// A disk that takes only a few bytes more (the process's file size limit) fails the write.
TEST_F(WholeFileTest, AFailedWriteLeavesTheOldFileWholeAndNothingBeside) {
    std::ofstream(path) << "old";
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlimit small{16, limit.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const auto failure = writeWholeFile(path, std::string(100, 'x'), 0600);
    ::setrlimit(RLIMIT_FSIZE, &limit);
    EXPECT_EQ(failure, "write: File too large");
    EXPECT_EQ(readAll(path), "old");
    EXPECT_EQ(namesIn(temp.path()), std::vector<std::string>{"Sentello.prefs"});
}

TEST_F(WholeFileTest, WhatIsNoRegularFileIsLeftAlone) {
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    EXPECT_EQ(writeWholeFile(path, "new text", 0600), "no regular file");
    EXPECT_TRUE(fs::is_fifo(path));
    EXPECT_TRUE(writeWholeFile((temp / "gone" / "file").string(), "x", 0600).has_value());
}

}  // namespace
