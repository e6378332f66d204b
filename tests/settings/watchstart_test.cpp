// What a watch started with "--watch" or at login relies on: the state it takes up again, the
// marker that tells how the run before ended, and the autostart entry.
#include <glib.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "../support/readonlyfolder.h"
#include "../tempfolder.h"
#include "settings/advancedoptions.h"
#include "settings/autostartentry.h"
#include "settings/runmarker.h"
#include "settings/settingsfile.h"
#include "settings/watchstate.h"

namespace {

std::string readText(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

void writeText(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// --- the watch's state -------------------------------------------------------------------

TEST(WatchStateTest, CameraAndRecordModeComeBackFromTheAdvancedGroup) {
    TempFolder folder;
    const std::string file = folder / "Sentello.prefs";
    writeText(file, "[Optionen]\r\nwarten = 3\r\n");
    EXPECT_EQ(loadWatchState(file), WatchState{});

    const WatchState state{"http://127.0.0.1:8080/video.mjpg?a=1&b=\"2\"", true};
    saveWatchState(state, file);
    EXPECT_EQ(loadWatchState(file), state);
    const std::string text = readText(file);
    EXPECT_NE(text.find("[Erweitert]\r\nkamera = http://127.0.0.1:8080/video.mjpg?a=1&b=\"2\"\r\n"
                        "ueberwachung = 1\r\n"),
              std::string::npos)
        << text;
    // The classic keys stay as they were, and the options of the group are not written.
    EXPECT_NE(text.find("warten = 3"), std::string::npos);
    EXPECT_EQ(text.find("vorlauf"), std::string::npos);
    EXPECT_EQ(loadAdvancedOptions(file), AdvancedOptions{});
}

TEST(WatchStateTest, TheOptionsOfTheGroupLeaveTheWatchsKeysAsTheyAre) {
    TempFolder folder;
    const std::string file = folder / "Sentello.prefs";
    saveWatchState({"Demo-Kamera (eingebaut)", true}, file);
    AdvancedOptions options;
    options.autostart = true;
    saveAdvancedOptions(options, file);
    EXPECT_TRUE(loadAdvancedOptions(file).autostart);
    EXPECT_EQ(loadWatchState(file), (WatchState{"Demo-Kamera (eingebaut)", true}));
}

// --- the run marker ----------------------------------------------------------------------

TEST(RunMarkerTest, AFirstRunAndARunAfterACleanEndFindNothing) {
    TempFolder folder;
    const std::string settings = folder.path().string() + "/";
    {
        const RunMarker first(settings, "boot-a");
        EXPECT_FALSE(first.lastRun().endedAbnormally);
        EXPECT_FALSE(first.lastRun().machineRestarted);
    }
    const RunMarker second(settings, "boot-a");
    EXPECT_FALSE(second.lastRun().endedAbnormally);
    EXPECT_FALSE(second.lastRun().machineRestarted);
}

// A run that is killed never gets to its end: its marker stays as the start wrote it.
TEST(RunMarkerTest, AKilledRunIsFoundByTheNextStart) {
    TempFolder folder;
    const std::string settings = folder.path().string() + "/";
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        new RunMarker(settings, "boot-a");  // never ended, as by kill -9
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    const RunMarker next(settings, "boot-a");
    EXPECT_TRUE(next.lastRun().endedAbnormally);
    EXPECT_FALSE(next.lastRun().machineRestarted);
}

TEST(RunMarkerTest, ANewBootIsARestartWhetherTheRunEndedOrNot) {
    TempFolder folder;
    const std::string settings = folder.path().string() + "/";
    { const RunMarker ended(settings, "boot-a"); }
    {
        const RunMarker afterReboot(settings, "boot-b");
        EXPECT_TRUE(afterReboot.lastRun().machineRestarted);
        EXPECT_FALSE(afterReboot.lastRun().endedAbnormally);
    }
    writeText(folder / "Sentello.lauf", "boot-b\nlaeuft\n");  // a power cut
    const RunMarker afterPowerCut(settings, "boot-c");
    EXPECT_TRUE(afterPowerCut.lastRun().machineRestarted);
    EXPECT_TRUE(afterPowerCut.lastRun().endedAbnormally);
}

TEST(RunMarkerTest, AMarkerCutShortCountsAsARunThatDidNotEnd) {
    TempFolder folder;
    writeText(folder / "Sentello.lauf", "");
    const RunMarker next(folder.path().string() + "/", "boot-a");
    EXPECT_TRUE(next.lastRun().endedAbnormally);
    EXPECT_FALSE(next.lastRun().machineRestarted);
}

TEST(RunMarkerTest, ALinkPlantedAsTheMarkerIsNeitherReadNorWrittenThrough) {
    TempFolder folder;
    writeText(folder / "victim", "boot-a\nlaeuft\n");
    std::filesystem::create_symlink(folder / "victim", folder / "Sentello.lauf");
    { const RunMarker run(folder.path().string() + "/", "boot-a"); }
    EXPECT_EQ(readText(folder / "victim"), "boot-a\nlaeuft\n");
    EXPECT_FALSE(std::filesystem::is_symlink(folder / "Sentello.lauf"));
}

TEST(RunMarkerTest, TheBootIdIsTheKernelsOneLine) {
    const std::string id = currentBootId();
    if (!std::filesystem::exists("/proc/sys/kernel/random/boot_id"))
        GTEST_SKIP() << "no boot id on this system";
    EXPECT_EQ(id.size(), 36u) << id;
    EXPECT_EQ(id.find('\n'), std::string::npos);
}

// --- the autostart entry -----------------------------------------------------------------

// The arguments a desktop starts from an entry's Exec line: the string value unescaped (GLib's
// key file), "%%" as "%", and the Exec line's own quoting, which is the shell's without its
// expansions.
std::vector<std::string> execArguments(const std::string& entry) {
    GKeyFile* file = g_key_file_new();
    std::vector<std::string> arguments;
    if (g_key_file_load_from_data(file, entry.data(), entry.size(), G_KEY_FILE_NONE, nullptr)) {
        gchar* exec = g_key_file_get_string(file, "Desktop Entry", "Exec", nullptr);
        std::string line = exec ? exec : "";
        g_free(exec);
        for (std::size_t at = line.find("%%"); at != std::string::npos;
             at = line.find("%%", at + 1))
            line.erase(at, 1);
        gchar** argv = nullptr;
        if (g_shell_parse_argv(line.c_str(), nullptr, &argv, nullptr)) {
            for (gchar** argument = argv; *argument; ++argument)
                arguments.emplace_back(*argument);
            g_strfreev(argv);
        }
    }
    g_key_file_free(file);
    return arguments;
}

// desktop-file-validate's verdict on the file: empty when it is valid.
std::string validationErrors(const std::string& path) {
    const std::string command = "desktop-file-validate '" + path + "' 2>&1";
    FILE* output = ::popen(command.c_str(), "r");
    std::string text;
    char buffer[256];
    while (output && std::fgets(buffer, sizeof buffer, output))
        text += buffer;
    const int status = output ? ::pclose(output) : -1;
    return status == 0 ? text : "exit status " + std::to_string(status) + ": " + text;
}

const char kHostileProgram[] =
    "/opt/my tools/Sentello \"neu\" 100% `x` $HOME \\ 'a' Ärger/sentello";

TEST(AutostartEntryTest, AHostileProgramPathAndProfileComeBackAsTheExactArguments) {
    for (const std::string& profile :
         {std::string(), std::string("Garten"), std::string("Über \"die\" 50% Mauer's $x")}) {
        const std::optional<std::string> entry =
            autostartEntryText(kHostileProgram, profile, "/home/ich/Sentello/_opt/");
        ASSERT_TRUE(entry);
        std::vector<std::string> expected{kHostileProgram, "--watch"};
        if (!profile.empty()) {
            expected.emplace_back("--profile");
            expected.push_back(profile);
        }
        EXPECT_EQ(execArguments(*entry), expected) << *entry;
    }
}

TEST(AutostartEntryTest, APathWithALineBreakMakesNoEntry) {
    EXPECT_FALSE(autostartEntryText("/opt/a\nb/sentello", "", "/home/ich/Sentello/x/"));
    EXPECT_FALSE(execArgument("tab\there"));
    EXPECT_EQ(execArgument("/usr/bin/sentello"), "/usr/bin/sentello");
}

TEST(AutostartEntryTest, TheWrittenEntryIsValid) {
    if (std::system("command -v desktop-file-validate >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "desktop-file-validate (desktop-file-utils) is not installed";
    TempFolder folder;
    const std::string settings = folder.path().string() + "/Sentello/_opt_my tools_Ärger/";
    const std::string path = (folder / "autostart" / autostartFileName("Garten")).string();
    const std::optional<std::string> entry =
        autostartEntryText(kHostileProgram, "Garten", settings);
    ASSERT_TRUE(entry);
    EXPECT_EQ(writeAutostartEntry(path, *entry, settings), std::nullopt);
    EXPECT_EQ(readText(path), *entry);
    EXPECT_EQ(validationErrors(path), "");
    EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::all,
              std::filesystem::perms(0644));
}

TEST(AutostartEntryTest, OurEntryIsReplacedAndRemovedAnotherIsLeftAsItIs) {
    TempFolder folder;
    const std::string ours = "/home/ich/Sentello/_usr_bin/";
    const std::string path = (folder / "sentello.desktop").string();
    const std::string entry = *autostartEntryText("/usr/bin/sentello", "", ours);
    ASSERT_EQ(writeAutostartEntry(path, entry, ours), std::nullopt);
    ASSERT_EQ(writeAutostartEntry(path, entry, ours), std::nullopt);

    // Another installation's entry of the same name, and one the user wrote.
    const std::string other = "/home/ich/Sentello/_usr_local_bin/";
    EXPECT_TRUE(writeAutostartEntry(path, *autostartEntryText("/x", "", other), other));
    EXPECT_TRUE(removeAutostartEntry(path, other));
    EXPECT_EQ(readText(path), entry);
    EXPECT_EQ(removeAutostartEntry(path, ours), std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(removeAutostartEntry(path, ours), std::nullopt);

    const std::string users = "[Desktop Entry]\nType=Application\nName=Mine\nExec=sentello\n";
    writeText(path, users);
    EXPECT_TRUE(writeAutostartEntry(path, entry, ours));
    EXPECT_TRUE(removeAutostartEntry(path, ours));
    EXPECT_EQ(readText(path), users);
}

TEST(AutostartEntryTest, ALinkAtTheEntrysPlaceIsNeverWrittenThroughNorRemoved) {
    TempFolder folder;
    const std::string ours = "/home/ich/Sentello/_usr_bin/";
    const std::string entry = *autostartEntryText("/usr/bin/sentello", "", ours);
    // Even a link to an entry of ours is not ours to follow.
    writeText(folder / "target", entry);
    const std::filesystem::path link = folder / "sentello.desktop";
    std::filesystem::create_symlink(folder / "target", link);
    EXPECT_TRUE(writeAutostartEntry(link.string(), entry + "X-Other=1\n", ours));
    EXPECT_TRUE(removeAutostartEntry(link.string(), ours));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(readText(folder / "target"), entry);
}

TEST(AutostartEntryTest, AReadOnlyFolderGivesAReasonAndNoFile) {
    TempFolder folder;
    const std::filesystem::path autostart = folder / "autostart";
    std::filesystem::create_directory(autostart);
    const std::string ours = "/home/ich/Sentello/_usr_bin/";
    const std::string path = (autostart / "sentello.desktop").string();
    const std::string entry = *autostartEntryText("/usr/bin/sentello", "", ours);
    EXPECT_EQ(exitCodeInReadOnlyFolder(
                  autostart, autostart,
                  [&] {
                      const std::optional<std::string> failure =
                          writeAutostartEntry(path, entry, ours);
                      const bool said = failure &&
                                        failure->find("sentello.desktop") != std::string::npos &&
                                        failure->find("Permission denied") != std::string::npos;
                      return said ? 0 : 1;
                  }),
              0);
    EXPECT_TRUE(std::filesystem::is_empty(autostart));
}

TEST(AutostartEntryTest, TheFolderFollowsXdgConfigHomeWhenItIsAbsolute) {
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    const std::string before = saved ? saved : "";
    ::setenv("XDG_CONFIG_HOME", "/tmp/konfig", 1);
    EXPECT_EQ(autostartFolder(), "/tmp/konfig/autostart/");
    ::setenv("XDG_CONFIG_HOME", "config/relative", 1);
    const std::string relative = autostartFolder();
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(relative, autostartFolder());
    EXPECT_TRUE(relative.ends_with("/.config/autostart/")) << relative;
    if (saved)
        ::setenv("XDG_CONFIG_HOME", before.c_str(), 1);
    EXPECT_EQ(autostartFileName(""), "sentello.desktop");
    EXPECT_EQ(autostartFileName("Garten"), "sentello-Garten.desktop");
}

}  // namespace
