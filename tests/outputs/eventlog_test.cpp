// The event log's lines and its file: rotation at its size, names nobody expects in the fields,
// a full disk, and whatever stands at the file's name.

#include "outputs/eventlog.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "../tempfolder.h"

namespace {

const DateFields kNoon{2026, 12, 9, 12, 5, 7};

std::string contentOf(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

// Writes the lines and waits until the log has written them (its end waits).
void logLines(const std::string& path, const std::vector<std::vector<std::string>>& lines) {
    EventLog log(path);
    for (const auto& fields : lines)
        log.write(kNoon, fields);
}

TEST(EventLine, TimeThenFieldsTabSeparated) {
    EXPECT_EQ(eventLine(kNoon, {"Auslösung", "37 %", "Video_Sentello_20261209120507.avi"}),
              "2026-12-09 12:05:07\tAuslösung\t37 %\tVideo_Sentello_20261209120507.avi\n");
    EXPECT_EQ(eventLine(kNoon, {}), "2026-12-09 12:05:07\n");
}

// What a start finds of the run before, and the watch that goes on.
TEST(EventLine, TheLastRunsEndAndTheResumedWatchSayWhy) {
    using Kind = WatchEvent::Kind;
    EXPECT_EQ(eventLogFields({.kind = Kind::LastRunEndedAbnormally}),
              std::vector<std::string>{"Letzter Lauf endete unerwartet"});
    EXPECT_EQ(
        eventLogFields({.kind = Kind::LastRunEndedAbnormally, .reason = "Neustart des Rechners"}),
        (std::vector<std::string>{"Letzter Lauf endete unerwartet", "Neustart des Rechners"}));
    EXPECT_EQ(eventLogFields({.kind = Kind::WatchResumed, .reason = "nach Neustart"}),
              (std::vector<std::string>{"Überwachung fortgesetzt", "nach Neustart"}));
}

TEST(EventLine, EveryLineReadsAsOneLineOfUtf8) {
    // A clip name with a tab, a carriage return and a line feed; Latin-1 bytes of a name made
    // elsewhere; a cut-off sequence; an overlong slash; a surrogate.
    EXPECT_EQ(eventLine(kNoon, {"a\tb\r\nc", "Gr\xfc\xdf", "\xe2\x82", "\xc0\xaf", "\xed\xa0\x80"}),
              "2026-12-09 12:05:07\ta b  c\tGr??\t??\t??\t???\n");
    EXPECT_EQ(eventLine(kNoon, {"Küche €  𝄞"}), "2026-12-09 12:05:07\tKüche €  𝄞\n");
}

TEST(EventLogFile, AppendsOnlyForTheUser) {
    TempFolder folder;
    const auto path = folder / "Sentello.log";
    logLines(path, {{"Start"}, {"Ende"}});
    logLines(path, {{"Start"}});
    EXPECT_EQ(
        contentOf(path),
        "2026-12-09 12:05:07\tStart\n2026-12-09 12:05:07\tEnde\n2026-12-09 12:05:07\tStart\n");
    struct stat status {};
    ASSERT_EQ(::stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
}

TEST(EventLogFile, AtItsSizeTheFileMakesWayKeepingOneGenerationBefore) {
    TempFolder folder;
    const auto path = folder / "Sentello.log";
    const std::string field(1000, 'x');
    const std::size_t lineBytes = eventLine(kNoon, {field}).size();
    const std::size_t perFile = EventLog::kRotationBytes / lineBytes;
    // In batches the backlog takes whole.
    for (std::size_t written = 0; written < 3 * perFile;) {
        EventLog log(path);
        for (std::size_t i = 0; i < EventLog::kMaxWaitingLines && written < 3 * perFile;
             ++i, ++written) {
            log.write(kNoon, {field});
        }
    }
    logLines(path, {{"zuletzt"}});
    EXPECT_EQ(contentOf(path), std::string("2026-12-09 12:05:07\tzuletzt\n"));
    const std::string before = contentOf(folder / "Sentello.log.1");
    EXPECT_EQ(before.size(), perFile * lineBytes);
    EXPECT_LE(before.size(), EventLog::kRotationBytes);
    EXPECT_FALSE(std::filesystem::exists(folder / "Sentello.log.2"));
}

TEST(EventLogFile, WhatStandsAtItsNameTakesNothing) {
    TempFolder folder;
    // A link to a file of someone else's choosing, a folder, a pipe without a reader.
    const auto target = folder / "target";
    std::ofstream(target) << "kept";
    std::filesystem::create_symlink(target, folder / "link.log");
    std::filesystem::create_directory(folder / "folder.log");
    ASSERT_EQ(::mkfifo((folder / "pipe.log").c_str(), 0600), 0);
    for (const char* name : {"link.log", "folder.log", "pipe.log"})
        logLines(folder / name, {{"Start"}});
    EXPECT_EQ(contentOf(target), "kept");
    EXPECT_TRUE(std::filesystem::is_directory(folder / "folder.log"));
    EXPECT_TRUE(std::filesystem::is_fifo(folder / "pipe.log"));
}

// A full disk drops the line whole; the program and the lines after go on.
TEST(EventLogFile, AFullDiskDropsWholeLines) {
    TempFolder folder;
    const auto path = folder / "Sentello.log";
    const std::string field(600, 'x');
    rlimit before{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto previousHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit small = before;
    small.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    logLines(path, {{field}, {field}, {"kurz"}});
    setrlimit(RLIMIT_FSIZE, &before);
    signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(contentOf(path), eventLine(kNoon, {field}) + eventLine(kNoon, {"kurz"}));
}

// The window's lines: newest first across the two generations, as many as asked; whatever
// stands at the name instead of a file gives none.
TEST(RecentEvents, NewestFirstAcrossBothGenerations) {
    TempFolder folder;
    const auto path = (folder / "Sentello.log").string();
    std::ofstream(path + ".1") << "a\nb\nc\n";
    std::ofstream(path) << "d\ne\n";
    EXPECT_EQ(recentEvents(path, 10), (std::vector<std::string>{"e", "d", "c", "b", "a"}));
    EXPECT_EQ(recentEvents(path, 3), (std::vector<std::string>{"e", "d", "c"}));
    std::filesystem::remove(path);
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    EXPECT_EQ(recentEvents(path, 2), (std::vector<std::string>{"c", "b"}));
    EXPECT_TRUE(recentEvents((folder / "none.log").string(), 5).empty());
}

}  // namespace
