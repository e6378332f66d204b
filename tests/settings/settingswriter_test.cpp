// The settings writer: slider steps that do not wait for the disk, readers that see the newest
// text all the same, and writes that fail and say so.

#include "settings/settingswriter.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <condition_variable>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <vector>

#include "../boundedcall.h"
#include "../support/settingsfiletest.h"
#include "settings/camerachoices.h"
#include "settings/settingsfile.h"
#include "settings/settingskeys.h"

namespace {

// The failures the writer reports, as "reason".
struct HeardFailures {
    std::mutex mutex;
    std::vector<std::string> reasons;

    HeardFailures() {
        SettingsWriter::instance().setFailureReport(
            [this](const std::string&, const std::string& reason) {
                const std::lock_guard lock(mutex);
                reasons.push_back(reason);
            });
    }
    ~HeardFailures() { SettingsWriter::instance().setFailureReport({}); }
    std::vector<std::string> heard() {
        const std::lock_guard lock(mutex);
        return reasons;
    }
};

struct SettingsWriterTest : SettingsFileFixture {
    HeardFailures failures;
};

// What the disk holds this moment, whatever the writer still has to write.
std::string onDisk(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The writer stands still in the report of a write that failed until the test lets it go,
// as it would on a disk that takes its time.
TEST_F(SettingsWriterTest, ASliderStepDoesNotWaitForTheDiskAndIsReadBackAtOnce) {
    put("[Optionen]\r\nwarten = 3\r\n");
    std::mutex mutex;
    std::condition_variable changed;
    bool stalled = false;
    bool released = false;
    SettingsWriter& writer = SettingsWriter::instance();
    writer.setFailureReport([&](const std::string&, const std::string&) {
        std::unique_lock lock(mutex);
        stalled = true;
        changed.notify_all();
        changed.wait(lock, [&] { return released; });
    });
    writer.write((m_folder / "gone" / "Sentello.prefs").string(), "x", 0600);
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(10), [&] { return stalled; }));
    }
    ASSERT_TRUE(endsWithin(std::chrono::seconds(10), [&] {
        writeSlotValues(2, {128, 50, 40}, m_path);
    })) << "the slider step waited for the disk";

    // The tab chosen again reads what the slider wrote, though the disk has not got it yet.
    EXPECT_EQ(readSlotValues(2, m_path).trigger, 40);
    EXPECT_EQ(onDisk(m_path), "[Optionen]\r\nwarten = 3\r\n");

    {
        const std::lock_guard lock(mutex);
        released = true;
    }
    changed.notify_all();
    writer.setFailureReport({});
    // The next step, with the disk as it should be, writes the whole file.
    writeSlotValues(2, {128, 50, 41}, m_path);
    EXPECT_EQ(contents(),
              "[Optionen]\r\nwarten = 3\r\nhelligkeit2 = 128\r\n"
              "empfindlichkeit2 = 50\r\nausloeser2 = 41\r\n");
}

// A slider dragged fast: each step is read back as it was made, however the writer's thread
// and the reads fall together (a file opened just before the writer replaced it was read stale).
TEST_F(SettingsWriterTest, EveryStepIsReadBackWhileTheWriterReplacesTheFile) {
    put("[Optionen]\r\nwarten = 3\r\n");
    for (int step = 1; step <= 2000; ++step) {
        const SlotValues values{step % 256, 50, 1 + step % 100};
        writeSlotValues(0, values, m_path);
        ASSERT_EQ(readSlotValues(0, m_path), values) << "step " << step;
    }
}

TEST_F(SettingsWriterTest, AFileThatCannotBeReadIsNeverReplacedByTheCameraChoices) {
    const std::string large =
        "[Optionen]\r\nwarten = 9\r\n" + std::string(2 * 1024 * 1024, ';') + "\r\n";
    put(large);
    CameraChoices choices;
    choices.codec = "mpeg4";
    saveCompressionChoice(m_path, choices);
    choices.formatCamera = "Demo";
    saveFormatChoice(m_path, choices);
    writeGeneralSettings(GeneralSettings{}, m_path);
    writeSlotValues(0, SlotValues{}, m_path);
    EXPECT_TRUE(contents() == large) << "the user's settings were replaced";
    EXPECT_EQ(failures.heard().size(), 4u) << "each step that wrote nothing says so";
}

TEST_F(SettingsWriterTest, AFileInUseByAnotherSentelloIsReportedNotWritten) {
    put("[Optionen]\r\nwarten = 3\r\n");
    const int other = ::open(m_path.c_str(), O_RDONLY);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX), 0);
    writeSlotValues(0, {128, 50, 40}, m_path);
    ::close(other);
    EXPECT_EQ(contents(), "[Optionen]\r\nwarten = 3\r\n");
    ASSERT_EQ(failures.heard().size(), 1u);
    EXPECT_EQ(failures.heard().front(), "read-only: in use by another Sentello");
}

// A disk that takes only a few bytes more (the process's file size limit) fails the write.
TEST_F(SettingsWriterTest, AFullDiskKeepsTheOldFileAndSaysWhy) {
    put("[Optionen]\r\nwarten = 3\r\n");
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlimit small{16, limit.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    SettingsFile file;
    file.open(m_path);
    file.selectGroup("Optionen");
    file.writeText("sounddatei", "/home/u/alarm.wav");
    file.close();
    ::setrlimit(RLIMIT_FSIZE, &limit);
    EXPECT_EQ(contents(), "[Optionen]\r\nwarten = 3\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_folder), {}), 1)
        << "nothing is left beside the file";
    ASSERT_EQ(failures.heard().size(), 1u);
    EXPECT_EQ(failures.heard().front(), "write: File too large");
}

}  // namespace
