// Command lines of launched tools, and real launches of scripts written by the test, with a
// stand-in for the desktop's opener first on the PATH.

#include "outputs/launching.h"

#include <gtest/gtest.h>

#include <QtCore/qtestsupport_core.h>

#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "../tempfolder.h"

namespace {

using Words = std::vector<std::string>;

TEST(LaunchCommandLine, QuotesTheProgramAndAppendsTheArgument) {
    EXPECT_EQ(launchCommandLine("/opt/my tools/view", "\"/home/u/a.jpg\""),
              "\"/opt/my tools/view\" \"/home/u/a.jpg\"");
    EXPECT_EQ(launchCommandLine("/usr/bin/view", ""), "\"/usr/bin/view\"");
    // A program given quoted already is taken as it stands.
    EXPECT_EQ(launchCommandLine("\"/home/u/Video_Sentello_1.avi\"", ""),
              "\"/home/u/Video_Sentello_1.avi\"");
    EXPECT_EQ(launchCommandLine("\"/usr/bin/view\" --fit", "x"), "\"/usr/bin/view\" --fit x");
}

TEST(SplitCommandLine, SplitsAsAShellDoes) {
    EXPECT_EQ(splitCommandLine("\"/opt/my tools/view\" \"/home/u/a b.jpg\""),
              (Words{"/opt/my tools/view", "/home/u/a b.jpg"}));
    EXPECT_EQ(splitCommandLine("  a\tb  c "), (Words{"a", "b", "c"}));
    EXPECT_EQ(splitCommandLine("'it''s' \"say \\\"hi\\\" \\n\" a\\ b"),
              (Words{"its", "say \"hi\" \\n", "a b"}));
    EXPECT_EQ(splitCommandLine("\"\" x"), (Words{"", "x"}));
    EXPECT_EQ(splitCommandLine("pre\"quoted part\"post"), (Words{"prequoted partpost"}));
    EXPECT_EQ(splitCommandLine("\"unclosed quote"), (Words{"unclosed quote"}));
    EXPECT_EQ(splitCommandLine("$HOME `x`"), (Words{"$HOME", "`x`"}));
    EXPECT_TRUE(splitCommandLine("   ").empty());
}

TEST(OpenerWorkingFolder, GivenOneOrTheProgramsFolder) {
    EXPECT_EQ(openerWorkingFolder("/home/u/tools/notes.txt", ""), "/home/u/tools/");
    EXPECT_EQ(openerWorkingFolder("/home/u/tools/notes.txt", "/tmp"), "/tmp");
    EXPECT_EQ(openerWorkingFolder("/notes.txt", ""), "");
    EXPECT_EQ(openerWorkingFolder("notes.txt", ""), "");
}

std::string readAll(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeScript(const std::filesystem::path& path, const std::string& body) {
    std::ofstream(path) << "#!/bin/sh\n" << body;
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
}

// Children of this process that ended and were never reaped.
int zombieChildren() {
    int zombies = 0;
    const std::string parent = std::to_string(::getpid());
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line))
            continue;
        // pid (name) state ppid ...
        std::istringstream fields(line.substr(line.rfind(')') + 2));
        std::string state;
        std::string ppid;
        fields >> state >> ppid;
        zombies += ppid == parent && state == "Z";
    }
    return zombies;
}

// Each test gets a folder with spaces in its name, and an opener that notes what it got.
class Launching : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directory(tools);
        writeScript(folder / "xdg-open",
                    "printf '%s|' \"$@\" \"$PWD\" > \"" + (folder / "opened").string() + "\"\n");
        const char* path = getenv("PATH");
        savedPath = path ? path : "";
        setenv("PATH", (folder.path().string() + ":" + savedPath).c_str(), 1);
    }
    void TearDown() override { setenv("PATH", savedPath.c_str(), 1); }

    std::string waitForFile(const std::string& name) {
        const auto path = folder / name;
        QTest::qWaitFor([&] { return !readAll(path).empty(); }, 20000);
        return readAll(path);
    }

    TempFolder folder;
    std::filesystem::path tools = folder / "my tools";
    std::string savedPath;
};

TEST_F(Launching, ProgramGetsTheQuotedPathAsOneArgument) {
    const auto tool = tools / "view";
    writeScript(tool, "printf '%s|' \"$@\" > \"" + (folder / "ran").string() + "\"\n");
    EXPECT_TRUE(launchProgram(tool.string(), "\"/home/u/Video Sentello 1.avi\"", ""));
    EXPECT_EQ(waitForFile("ran"), "/home/u/Video Sentello 1.avi|");
    EXPECT_EQ(zombieChildren(), 0);
    EXPECT_FALSE(std::filesystem::exists(folder / "opened"));
}

TEST_F(Launching, ProgramStartsInTheGivenWorkingFolder) {
    const auto tool = tools / "where";
    writeScript(tool, "pwd > \"" + (folder / "ran").string() + "\"\n");
    EXPECT_TRUE(launchProgram(tool.string(), "", folder.path().string()));
    EXPECT_EQ(waitForFile("ran"), folder.path().string() + "\n");
}

TEST_F(Launching, DocumentOpensThroughTheOpenerInItsFolder) {
    const auto document = tools / "notes.txt";
    std::ofstream(document) << "not a program";
    EXPECT_TRUE(launchProgram(document.string(), "\"/home/u/a.jpg\"", ""));
    EXPECT_EQ(waitForFile("opened"), document.string() + "|" + tools.string() + "|");
}

TEST_F(Launching, QuotedClipAndFolderOpenThroughTheOpener) {
    const auto clip = folder / "Video_Sentello_20110304211503.avi";
    std::ofstream(clip) << "clip";
    EXPECT_TRUE(launchProgram("\"" + clip.string() + "\"", "", ""));
    EXPECT_EQ(waitForFile("opened"), clip.string() + "|" + folder.path().string() + "|");
    std::filesystem::remove(folder / "opened");
    EXPECT_TRUE(launchProgram(tools.string() + "/", "", ""));
    EXPECT_EQ(waitForFile("opened"), tools.string() + "/|" + tools.string() + "|");
}

TEST_F(Launching, NothingThereStartsNothing) {
    EXPECT_FALSE(launchProgram("", "\"/home/u/a.jpg\"", ""));
    EXPECT_FALSE(launchProgram((tools / "missing").string(), "\"/home/u/a.jpg\"", ""));
    EXPECT_FALSE(std::filesystem::exists(folder / "opened"));
}

}  // namespace
