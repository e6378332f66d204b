// The settings writer: slider steps that do not wait for the disk, readers that see the newest
// text all the same, and writes that fail and say so.

#include "settings/settingswriter.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <mutex>
#include <vector>

#include "../boundedcall.h"
#include "../fakegadgets.h"
#include "settings/camerachoices.h"
#include "settings/settingsfile.h"
#include "settings/settingskeys.h"
#include "settingsfiletest.h"

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
    FakeGadgets gadgets;
    HeardFailures failures;
};

// The temporary file the writer makes beside the settings is a FIFO here: the writer stands
// still in it until the test reads, as it would on a disk that takes its time.
TEST_F(SettingsWriterTest, ASliderStepDoesNotWaitForTheDiskAndIsReadBackAtOnce) {
    put("[Optionen]\r\nwarten = 3\r\n");
    const std::string stall = m_path + ".new";
    ASSERT_EQ(::mkfifo(stall.c_str(), 0600), 0);
    gadgets.setState(Gadget::slotTabs, 2);
    gadgets.setState(Gadget::brightnessSlider, 128);
    gadgets.setState(Gadget::sensitivitySlider, 50);
    gadgets.setState(Gadget::triggerSlider, 40);
    ASSERT_TRUE(endsWithin(std::chrono::seconds(10), [&] { saveSlotValues(gadgets, m_path); }))
        << "the slider step waited for the disk";

    // The tab chosen again reads what the slider wrote, though the disk has not got it yet.
    gadgets.setState(Gadget::triggerSlider, 25);
    loadSlotValues(gadgets, m_path);
    EXPECT_EQ(gadgets.state(Gadget::triggerSlider), 40);

    // The disk takes the text now: no file can be synced through a FIFO, so the write fails,
    // is reported, and the old file stays whole.
    const int reader = ::open(stall.c_str(), O_RDONLY);
    ASSERT_GE(reader, 0);
    std::string arrived;
    char buffer[4096];
    for (ssize_t count; (count = ::read(reader, buffer, sizeof buffer)) > 0;)
        arrived.append(buffer, static_cast<std::size_t>(count));
    ::close(reader);
    EXPECT_NE(arrived.find("ausloeser2 = 40"), std::string::npos) << arrived;
    EXPECT_EQ(contents(), "[Optionen]\r\nwarten = 3\r\n");
    ASSERT_EQ(failures.heard().size(), 1u);
    EXPECT_EQ(failures.heard().front().rfind("sync: ", 0), 0u) << failures.heard().front();

    // The next step, with the disk as it should be, writes the whole file.
    gadgets.setState(Gadget::triggerSlider, 41);
    saveSlotValues(gadgets, m_path);
    EXPECT_EQ(contents(),
              "[Optionen]\r\nwarten = 3\r\nhelligkeit2 = 128\r\n"
              "empfindlichkeit2 = 50\r\nausloeser2 = 41\r\n");
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
    saveGeneralSettings(gadgets, m_path);
    saveSlotValues(gadgets, m_path);
    EXPECT_TRUE(contents() == large) << "the user's settings were replaced";
    EXPECT_EQ(failures.heard().size(), 4u) << "each step that wrote nothing says so";
}

TEST_F(SettingsWriterTest, AFileInUseByAnotherSentelloIsReportedNotWritten) {
    put("[Optionen]\r\nwarten = 3\r\n");
    const int other = ::open(m_path.c_str(), O_RDONLY);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX), 0);
    gadgets.setState(Gadget::triggerSlider, 40);
    saveSlotValues(gadgets, m_path);
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
    EXPECT_FALSE(std::filesystem::exists(m_path + ".new"));
    ASSERT_EQ(failures.heard().size(), 1u);
    EXPECT_EQ(failures.heard().front(), "write: File too large");
}

}  // namespace
