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

TEST(OpenerWorkingFolder, GivenOneOrTheProgramsFolder) {
    EXPECT_EQ(openerWorkingFolder("/home/u/tools/notes.txt", ""), "/home/u/tools/");
    EXPECT_EQ(openerWorkingFolder("/home/u/tools/notes.txt", "/tmp"), "/tmp");
    EXPECT_EQ(openerWorkingFolder("/notes.txt", ""), "");
    EXPECT_EQ(openerWorkingFolder("notes.txt", ""), "");
}

TEST(ProgramWords, AQuotedProgramIsWhatTheQuotesEnclose) {
    using Words = std::vector<std::string>;
    EXPECT_EQ(programWords("/home/u/my tools/x.sh"), Words{"/home/u/my tools/x.sh"});
    EXPECT_EQ(programWords("/home/u/say \"hi\".sh"), Words{"/home/u/say \"hi\".sh"})
        << "quotes inside a path that does not begin with one stay";
    EXPECT_EQ(programWords("\"/home/u/my tools/x.sh\""), Words{"/home/u/my tools/x.sh"});
    EXPECT_EQ(programWords("\"/home/u/my tools/x.sh\" -q  \"a b\""),
              (Words{"/home/u/my tools/x.sh", "-q", "a b"}));
    EXPECT_EQ(programWords("\"/home/u/unclosed x.sh"), Words{"/home/u/unclosed x.sh"});
    EXPECT_EQ(programWords("\"\""), Words{""});
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
        if (!QTest::qWaitFor([&] { return !readAll(path).empty(); }, 20000))
            return {};
        return readAll(path);
    }

    TempFolder folder;
    std::filesystem::path tools = folder / "my tools";
    std::string savedPath;
};

// Writes what a tool got, one argument a line after their count.
std::string notingTool(const std::filesystem::path& note) {
    return "{ echo $#; for a in \"$@\"; do printf '%s\\n' \"$a\"; done; } > \"" + note.string() +
           ".part\" && mv \"" + note.string() + ".part\" \"" + note.string() + "\"\n";
}

TEST_F(Launching, ProgramGetsThePathAsOneArgumentWhateverItHolds) {
    const auto tool = tools / "view";
    writeScript(tool, notingTool(folder / "ran"));
    for (const std::string path :
         {"/home/u/Video Sentello 1.avi",
          "/home/u/\"quoted\" \\back\\slash $HOME `id` 'single'.avi", "-starts with a dash.avi"}) {
        std::filesystem::remove(folder / "ran");
        EXPECT_TRUE(launchProgram(tool.string(), path, ""));
        EXPECT_EQ(waitForFile("ran"), "1\n" + path + "\n");
    }
    EXPECT_EQ(zombieChildren(), 0);
    EXPECT_FALSE(std::filesystem::exists(folder / "opened"));
}

TEST_F(Launching, AQuotedToolStartsWithItsOwnWordsBeforeThePath) {
    const auto tool = tools / "view";
    writeScript(tool, notingTool(folder / "ran"));
    EXPECT_TRUE(launchProgram("\"" + tool.string() + "\"", "/home/u/a b.avi", ""));
    EXPECT_EQ(waitForFile("ran"), "1\n/home/u/a b.avi\n");
    std::filesystem::remove(folder / "ran");
    EXPECT_TRUE(launchProgram("\"" + tool.string() + "\" --fast", "/home/u/a b.avi", ""));
    EXPECT_EQ(waitForFile("ran"), "2\n--fast\n/home/u/a b.avi\n");
    EXPECT_FALSE(std::filesystem::exists(folder / "opened"));
}

TEST_F(Launching, ProgramGetsNoneOfThisProgramsDescriptors) {
    int leaky[2];
    ASSERT_EQ(::pipe(leaky), 0);  // without close-on-exec, as libraries leave theirs
    struct stat pipeStatus {};
    ASSERT_EQ(::fstat(leaky[0], &pipeStatus), 0);
    const auto tool = tools / "descriptors";
    writeScript(tool, "ls -l /proc/$$/fd > \"" + (folder / "fds.part").string() + "\" && mv \"" +
                          (folder / "fds.part").string() + "\" \"" + (folder / "fds").string() +
                          "\"\n");
    EXPECT_TRUE(launchProgram(tool.string(), "", ""));
    const std::string open = waitForFile("fds");
    ::close(leaky[0]);
    ::close(leaky[1]);
    EXPECT_EQ(open.find("pipe:[" + std::to_string(pipeStatus.st_ino) + "]"), std::string::npos)
        << open;
}

TEST_F(Launching, ProgramStartsInTheGivenWorkingFolder) {
    const auto tool = tools / "where";
    writeScript(tool, "pwd > \"" + (folder / "ran").string() + "\"\n");
    EXPECT_TRUE(launchProgram(tool.string(), "", folder.path().string()));
    EXPECT_EQ(waitForFile("ran"), folder.path().string() + "\n");
}

TEST_F(Launching, DesktopLauncherGetsThePathAsItsFile) {
    const auto tool = folder / "viewer";
    writeScript(tool, notingTool(folder / "ran"));
    const auto launcher = folder / "viewer.desktop";
    std::ofstream(launcher) << "[Desktop Entry]\nType=Application\nName=Viewer\nExec="
                            << tool.string() << " %f\n";
    EXPECT_TRUE(launchProgram(launcher.string(), "/home/u/a b.jpg", ""));
    EXPECT_EQ(waitForFile("ran"), "1\n/home/u/a b.jpg\n");
}

TEST_F(Launching, DocumentsAndScriptsWithoutInterpreterOpenThroughTheOpener) {
    const auto document = tools / "notes.txt";
    std::ofstream(document) << "not a program";
    EXPECT_TRUE(launchProgram(document.string(), "/home/u/a.jpg", ""));
    EXPECT_EQ(waitForFile("opened"), document.string() + "|" + tools.string() + "|");

    std::filesystem::remove(folder / "opened");
    const auto script = tools / "no interpreter";
    std::ofstream(script) << "touch \"" << (folder / "ran").string() << "\"\n";
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    EXPECT_TRUE(launchProgram(script.string(), "/home/u/a.jpg", ""));
    EXPECT_EQ(waitForFile("opened"), script.string() + "|" + tools.string() + "|");
    EXPECT_FALSE(std::filesystem::exists(folder / "ran"));
}

TEST_F(Launching, AnExecutableClipIsOpenedNeverRun) {
    const auto clip = folder / "Video_Sentello_20110304211503.avi";
    writeScript(clip, "touch \"" + (folder / "ran").string() + "\"\n");
    EXPECT_TRUE(openWithDesktop(clip.string()));
    EXPECT_EQ(waitForFile("opened"),
              clip.string() + "|" + std::filesystem::current_path().string() + "|");
    EXPECT_FALSE(std::filesystem::exists(folder / "ran"));
    std::filesystem::remove(folder / "opened");
    EXPECT_TRUE(openWithDesktop(tools.string() + "/"));
    EXPECT_EQ(waitForFile("opened"),
              tools.string() + "/|" + std::filesystem::current_path().string() + "|");
}

TEST_F(Launching, NothingThereStartsNothing) {
    EXPECT_FALSE(launchProgram("", "/home/u/a.jpg", ""));
    EXPECT_FALSE(launchProgram("\"\"", "/home/u/a.jpg", ""));
    EXPECT_FALSE(launchProgram((tools / "missing").string(), "/home/u/a.jpg", ""));
    EXPECT_FALSE(std::filesystem::exists(folder / "opened"));
}

}  // namespace
