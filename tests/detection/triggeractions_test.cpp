// The trigger actions against plain option values, with the services they set going and what
// the window takes of their outcomes recorded.

#include "detection/triggeractions.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "../tempfolder.h"

namespace {

class TriggerActionsTest : public ::testing::Test {
protected:
    TriggerActionsTest() {
        options.counter = "0";
        options.clipLengthSeconds = 5;
        options.waitSeconds = 3;
    }

    // What the window does with an outcome: the new count, the clip's row, then its recording.
    TriggerOutcome run() {
        TriggerOutcome outcome = actions.runTriggerActions(options);
        if (outcome.kind == TriggerOutcome::Kind::Counted)
            options.counter = outcome.detail;
        if (!outcome.clipRow.empty())
            rows.push_back(outcome.clipRow);
        if (outcome.clip) {
            calls.push_back("record");
            clips.push_back(*outcome.clip);
        }
        return outcome;
    }

    void capture(int status, const std::string& reason = {}) {
        if (const auto missing = actions.onCaptureStatus(status, reason, options))
            std::erase_if(rows, [&](const std::string& row) {
                return row.substr(0, row.find('\n')) == *missing;
            });
    }

    TriggerServices services() {
        return {
            .beep = [this] { calls.push_back("beep"); },
            .playAlertFile = [this](const std::string& path) { calls.push_back("play " + path); },
            .launchProgram =
                [this](const std::string& program, const std::string& argument) {
                    calls.push_back("launch " + program + " " + argument);
                },
            .pauseDetection =
                [this](int milliseconds) {
                    calls.push_back("pause " + std::to_string(milliseconds));
                },
        };
    }

    TempFolder folder;
    std::string clipFolder = folder.path().string() + "/";
    TriggerOptions options;
    DetectionState state;
    std::vector<std::string> calls;
    std::vector<ClipRequest> clips;
    // The video list's rows.
    std::vector<std::string> rows;
    TriggerActions actions{state, clipFolder, "Video_Sentello_", services()};
};

TEST_F(TriggerActionsTest, OutsideRecordingModeBeepsPlaysAndPauses) {
    options.beep = true;
    options.playAlertFile = true;
    options.alertFile = "/media/alarm.ogg";
    state.holdOffFrames = 7;
    run();
    EXPECT_EQ(calls, (std::vector<std::string>{"beep", "play /media/alarm.ogg", "pause 500"}));
    EXPECT_EQ(state.holdOffFrames, 1);
    EXPECT_EQ(options.counter, "0");
    EXPECT_EQ(int(rows.size()), 0);
}

// A lost camera or a test of the alarm sounds as a trigger does, and nothing else: no count,
// no clip, no pause, no hold-off.
TEST_F(TriggerActionsTest, TheAlarmAloneSoundsAsTheOptionsSayAndNeitherCountsNorRecords) {
    options.recordMode = true;
    options.alertFile = "/media/alarm.ogg";
    state.holdOffFrames = 0;
    actions.soundAlarm(options);
    EXPECT_TRUE(calls.empty());
    options.beep = true;
    options.playAlertFile = true;
    actions.soundAlarm(options);
    options.countOnly = true;
    actions.soundAlarm(options);
    EXPECT_EQ(calls, (std::vector<std::string>{"beep", "play /media/alarm.ogg", "beep",
                                               "play /media/alarm.ogg"}));
    EXPECT_EQ(state.holdOffFrames, 0);
    EXPECT_EQ(options.counter, "0");
    EXPECT_EQ(int(rows.size()), 0);
}

// File names are bytes: a name with a Windows-1252 byte, as the settings file held it.
TEST_F(TriggerActionsTest, TheAlertFileAndTheVideoToolAreTheStoredBytes) {
    options.playAlertFile = true;
    options.alertFile = "/media/M\xFCll.wav";
    run();
    EXPECT_EQ(calls, (std::vector<std::string>{"play /media/M\xFCll.wav", "pause 500"}));

    calls.clear();
    options.recordMode = true;
    options.launchVideoTool = true;
    options.videoTool = "/opt/Schnitt\xE4r";
    run();
    capture(kCaptureBegins);
    capture(kCaptureEnds);
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[2], "launch /opt/Schnitt\xE4r " + actions.lastVideoPath());
}

// What a trigger did, for the event log.
TEST_F(TriggerActionsTest, EachTriggerSaysWhatItDid) {
    using Kind = TriggerOutcome::Kind;
    EXPECT_EQ(run().kind, Kind::AlarmOnly);
    options.recordMode = true;
    options.countOnly = true;
    options.counter = "41";
    const TriggerOutcome counted = run();
    EXPECT_EQ(counted.kind, Kind::Counted);
    EXPECT_EQ(counted.detail, "42");
    options.countOnly = false;
    const TriggerOutcome started = run();
    EXPECT_EQ(started.kind, Kind::ClipStarted);
    EXPECT_EQ(started.detail, actions.lastVideoPath());
    ASSERT_EQ(clips.size(), 1u);
    EXPECT_EQ(clips[0].path, started.detail);
    const TriggerOutcome underWay = run();
    EXPECT_EQ(underWay.kind, Kind::ClipUnderWay);
    EXPECT_EQ(underWay.detail, started.detail);
    EXPECT_EQ(clips.size(), 1u);
}

TEST_F(TriggerActionsTest, UncheckedOptionsDoNothing) {
    options.alertFile = "/media/alarm.ogg";
    run();
    EXPECT_EQ(calls, (std::vector<std::string>{"pause 500"}));
}

TEST_F(TriggerActionsTest, CountingModeCountsAndHoldsOffForTheWait) {
    options.recordMode = true;
    options.countOnly = true;
    run();
    EXPECT_EQ(options.counter, "1");
    run();
    EXPECT_EQ(options.counter, "2");
    EXPECT_EQ(state.holdOffFrames, 300);
    options.counter = "abc";
    run();
    EXPECT_EQ(options.counter, "1");
    EXPECT_TRUE(calls.empty());
    EXPECT_TRUE(actions.lastTriggerText().empty());
}

TEST(Counter, CountsSixtyFourBitNumbers) {
    EXPECT_EQ(countedOnce("0"), "1");
    EXPECT_EQ(countedOnce("41"), "42");
    EXPECT_EQ(countedOnce("4294967295"), "4294967296");
    EXPECT_EQ(countedOnce("-5"), "-4");
    EXPECT_EQ(countedOnce("+5"), "6");
    EXPECT_EQ(countedOnce("9223372036854775807"), "9223372036854775807");
    for (const char* notANumber : {"", "abc", "12abc", " 12", "1.5", "99999999999999999999"})
        EXPECT_EQ(countedOnce(notANumber), "1") << notANumber;
}

TEST_F(TriggerActionsTest, RecordingModeStartsAClipWithItsRow) {
    options.recordMode = true;
    options.clipWithSound = true;
    options.clipLengthSeconds = 10;
    run();

    ASSERT_EQ(clips.size(), 1u);
    EXPECT_EQ(clips[0].seconds, 12);
    EXPECT_TRUE(clips[0].withSound);
    const std::string& path = clips[0].path;
    EXPECT_EQ(path, actions.lastVideoPath());
    EXPECT_TRUE(std::regex_match(path, std::regex(clipFolder + "Video_Sentello_\\d{14}\\.avi")))
        << path;
    EXPECT_TRUE(std::regex_match(actions.lastTriggerText(),
                                 std::regex("\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d")));
    // The row: the path and the trigger's date.
    ASSERT_EQ(int(rows.size()), 1);
    EXPECT_EQ(rows[0], path + "\n" + actions.lastTriggerText());
    EXPECT_EQ(state.holdOffFrames, 1);
    EXPECT_FALSE(state.recordingActive);
}

TEST_F(TriggerActionsTest, ShortestClipIsFiveSeconds) {
    options.recordMode = true;
    options.clipLengthSeconds = 3;
    run();
    ASSERT_EQ(clips.size(), 1u);
    EXPECT_EQ(clips[0].seconds, 5);
    EXPECT_FALSE(clips[0].withSound);
}

TEST_F(TriggerActionsTest, ClipEndStartsTheToolWithTheQuotedPathAndHoldsOff) {
    options.recordMode = true;
    options.launchVideoTool = true;
    options.videoTool = "/opt/my tools/cut";
    run();
    capture(kCaptureBegins);
    EXPECT_TRUE(state.recordingActive);
    capture(kCaptureEnds);
    EXPECT_FALSE(state.recordingActive);
    EXPECT_EQ(state.holdOffFrames, 300);
    EXPECT_EQ(calls.back(), "launch /opt/my tools/cut " + actions.lastVideoPath());
}

TEST_F(TriggerActionsTest, WaitOfZeroLetsTheNextRunTrigger) {
    options.recordMode = true;
    options.waitSeconds = 0;
    run();
    capture(kCaptureBegins);
    capture(kCaptureEnds);
    EXPECT_EQ(state.holdOffFrames, 0);
}

TEST_F(TriggerActionsTest, EndWithoutBeginAndOtherStatusesDoNothing) {
    options.launchVideoTool = true;
    options.videoTool = "/usr/bin/tool";
    state.holdOffFrames = 1;
    capture(kCaptureEnds);
    capture(302);
    EXPECT_EQ(state.holdOffFrames, 1);
    EXPECT_FALSE(state.recordingActive);
    EXPECT_TRUE(calls.empty());
}

TEST_F(TriggerActionsTest, FailedClipStartsNoToolButDetectionGoesOn) {
    options.recordMode = true;
    options.launchVideoTool = true;
    options.videoTool = "/usr/bin/tool";
    run();
    capture(kCaptureBegins);
    // The camera removes what a failed clip left.
    std::filesystem::remove(actions.lastVideoPath());
    capture(kCaptureEnds, "No space left on device");
    EXPECT_FALSE(state.recordingActive);
    EXPECT_EQ(state.holdOffFrames, 300);
    EXPECT_EQ(calls, (std::vector<std::string>{"record"}));
    // Its file is gone, and so is its row.
    EXPECT_EQ(int(rows.size()), 0);
}

TEST_F(TriggerActionsTest, AClipIsUnderWayFromItsRequestToItsEnd) {
    options.recordMode = true;
    EXPECT_FALSE(actions.clipUnderWay());
    run();
    EXPECT_TRUE(actions.clipUnderWay()) << "before the camera said that it began";
    capture(kCaptureBegins);
    EXPECT_TRUE(actions.clipUnderWay());
    capture(kCaptureEnds);
    EXPECT_FALSE(actions.clipUnderWay());
}

TEST_F(TriggerActionsTest, AClipThatCouldNotStartWaitsAsAFinishedOne) {
    options.recordMode = true;
    options.launchVideoTool = true;
    options.videoTool = "/usr/bin/tool";
    run();
    std::filesystem::remove(actions.lastVideoPath());
    capture(kCaptureEnds, "less than 200 MB free on the disk");
    EXPECT_EQ(state.holdOffFrames, 300);
    EXPECT_FALSE(actions.clipUnderWay());
    EXPECT_FALSE(state.recordingActive);
    EXPECT_EQ(calls, (std::vector<std::string>{"record"})) << "no tool for a clip that is not";
}

TEST_F(TriggerActionsTest, AFinishedClipKeepsItsRow) {
    options.recordMode = true;
    run();
    capture(kCaptureBegins);
    capture(kCaptureEnds);
    EXPECT_EQ(int(rows.size()), 1);
}

TEST_F(TriggerActionsTest, NoSecondClipBeforeTheFirstHasEnded) {
    options.recordMode = true;
    run();
    run();
    EXPECT_EQ(clips.size(), 1u);
    EXPECT_EQ(int(rows.size()), 1);
    capture(kCaptureEnds, "the recording does not start");
    run();
    EXPECT_EQ(clips.size(), 2u);
}

}  // namespace
