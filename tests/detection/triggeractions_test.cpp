// The trigger actions against plain gadget values, with the services they set going recorded.

#include "detection/triggeractions.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "../fakegadgets.h"
#include "../tempfolder.h"

namespace {

class TriggerActionsTest : public ::testing::Test {
protected:
    TriggerActionsTest() {
        gadgets.setText(Gadget::counterField, "0");
        gadgets.setState(Gadget::clipLengthSpin, 5);
        gadgets.setState(Gadget::waitSpin, 3);
        gadgets.setState(Gadget::videoList, -1);
    }

    TriggerServices services() {
        return {
            .beep = [this] { calls.push_back("beep"); },
            .playAlertFile = [this](const std::string& path) { calls.push_back("play " + path); },
            .recordClip =
                [this](const ClipRequest& request) {
                    calls.push_back("record");
                    clips.push_back(request);
                },
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
    FakeGadgets gadgets;
    DetectionState state;
    std::vector<std::string> calls;
    std::vector<ClipRequest> clips;
    TriggerActions actions{gadgets, state, clipFolder, "Video_Sentello_", services()};
};

TEST_F(TriggerActionsTest, OutsideRecordingModeBeepsPlaysAndPauses) {
    gadgets.setState(Gadget::beepCheck, 1);
    gadgets.setState(Gadget::soundCheck, 1);
    gadgets.setText(Gadget::soundFileField, "/media/alarm.ogg");
    state.holdOffFrames = 7;
    actions.runTriggerActions();
    EXPECT_EQ(calls, (std::vector<std::string>{"beep", "play /media/alarm.ogg", "pause 500"}));
    EXPECT_EQ(state.holdOffFrames, 1);
    EXPECT_EQ(gadgets.text(Gadget::counterField), "0");
    EXPECT_EQ(gadgets.countItems(Gadget::videoList), 0);
}

// A lost camera or a test of the alarm sounds as a trigger does, and nothing else: no count,
// no clip, no pause, no hold-off.
TEST_F(TriggerActionsTest, TheAlarmAloneSoundsAsTheOptionsSayAndNeitherCountsNorRecords) {
    gadgets.setState(Gadget::recordModeCheck, 1);
    gadgets.setText(Gadget::soundFileField, "/media/alarm.ogg");
    state.holdOffFrames = 0;
    actions.soundAlarm();
    EXPECT_TRUE(calls.empty());
    gadgets.setState(Gadget::beepCheck, 1);
    gadgets.setState(Gadget::soundCheck, 1);
    actions.soundAlarm();
    gadgets.setState(Gadget::countOnlyCheck, 1);
    actions.soundAlarm();
    EXPECT_EQ(calls, (std::vector<std::string>{"beep", "play /media/alarm.ogg", "beep",
                                               "play /media/alarm.ogg"}));
    EXPECT_EQ(state.holdOffFrames, 0);
    EXPECT_EQ(gadgets.text(Gadget::counterField), "0");
    EXPECT_EQ(gadgets.countItems(Gadget::videoList), 0);
}

// File names are bytes: a name with a Windows-1252 byte, as the settings file held it.
TEST_F(TriggerActionsTest, TheAlertFileAndTheVideoToolAreTheStoredBytes) {
    gadgets.setState(Gadget::soundCheck, 1);
    gadgets.setStoredText(Gadget::soundFileField, "/media/M\xFCll.wav");
    actions.runTriggerActions();
    EXPECT_EQ(calls, (std::vector<std::string>{"play /media/M\xFCll.wav", "pause 500"}));

    calls.clear();
    gadgets.setState(Gadget::recordModeCheck, 1);
    gadgets.setState(Gadget::videoToolCheck, 1);
    gadgets.setStoredText(Gadget::videoToolField, "/opt/Schnitt\xE4r");
    actions.runTriggerActions();
    actions.onCaptureStatus(kCaptureBegins, {});
    actions.onCaptureStatus(kCaptureEnds, {});
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[2], "launch /opt/Schnitt\xE4r " + actions.lastVideoPath());
}

// What a trigger did, for the event log.
TEST_F(TriggerActionsTest, EachTriggerSaysWhatItDid) {
    using Kind = TriggerOutcome::Kind;
    EXPECT_EQ(actions.runTriggerActions().kind, Kind::AlarmOnly);
    gadgets.setState(Gadget::recordModeCheck, 1);
    gadgets.setState(Gadget::countOnlyCheck, 1);
    gadgets.setText(Gadget::counterField, "41");
    const TriggerOutcome counted = actions.runTriggerActions();
    EXPECT_EQ(counted.kind, Kind::Counted);
    EXPECT_EQ(counted.detail, "42");
    gadgets.setState(Gadget::countOnlyCheck, 0);
    const TriggerOutcome started = actions.runTriggerActions();
    EXPECT_EQ(started.kind, Kind::ClipStarted);
    EXPECT_EQ(started.detail, actions.lastVideoPath());
    ASSERT_EQ(clips.size(), 1u);
    EXPECT_EQ(clips[0].path, started.detail);
    const TriggerOutcome underWay = actions.runTriggerActions();
    EXPECT_EQ(underWay.kind, Kind::ClipUnderWay);
    EXPECT_EQ(underWay.detail, started.detail);
    EXPECT_EQ(clips.size(), 1u);
}

TEST_F(TriggerActionsTest, UncheckedOptionsDoNothing) {
    gadgets.setText(Gadget::soundFileField, "/media/alarm.ogg");
    actions.runTriggerActions();
    EXPECT_EQ(calls, (std::vector<std::string>{"pause 500"}));
}

TEST_F(TriggerActionsTest, CountingModeCountsAndHoldsOffForTheWait) {
    gadgets.setState(Gadget::recordModeCheck, 1);
    gadgets.setState(Gadget::countOnlyCheck, 1);
    actions.runTriggerActions();
    EXPECT_EQ(gadgets.text(Gadget::counterField), "1");
    actions.runTriggerActions();
    EXPECT_EQ(gadgets.text(Gadget::counterField), "2");
    EXPECT_EQ(state.holdOffFrames, 300);
    gadgets.setText(Gadget::counterField, "abc");
    actions.runTriggerActions();
    EXPECT_EQ(gadgets.text(Gadget::counterField), "1");
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
    gadgets.setState(Gadget::recordModeCheck, 1);
    gadgets.setState(Gadget::audioInfoCheck, 1);
    gadgets.setState(Gadget::clipLengthSpin, 10);
    actions.runTriggerActions();

    ASSERT_EQ(clips.size(), 1u);
    EXPECT_EQ(clips[0].seconds, 12);
    EXPECT_TRUE(clips[0].withSound);
    const std::string& path = clips[0].path;
    EXPECT_EQ(path, actions.lastVideoPath());
    EXPECT_TRUE(std::regex_match(path, std::regex(clipFolder + "Video_Sentello_\\d{14}\\.avi")))
        << path;
    EXPECT_TRUE(std::regex_match(actions.lastTriggerText(),
                                 std::regex("\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d")));
    // The row: the path and the trigger's date, nothing selected afterwards.
    ASSERT_EQ(gadgets.countItems(Gadget::videoList), 1);
    EXPECT_EQ(gadgets.itemText(Gadget::videoList, 0).toStdString(),
              path + "\n" + actions.lastTriggerText());
    EXPECT_EQ(gadgets.state(Gadget::videoList), -1);
    EXPECT_EQ(state.holdOffFrames, 1);
    EXPECT_FALSE(state.recordingActive);
}

TEST_F(TriggerActionsTest, ShortestClipIsFiveSeconds) {
    gadgets.setState(Gadget::recordModeCheck, 1);
    gadgets.setState(Gadget::clipLengthSpin, 3);
    actions.runTriggerActions();
    ASSERT_EQ(clips.size(), 1u);
    EXPECT_EQ(clips[0].seconds, 5);
    EXPECT_FALSE(clips[0].withSound);
}

TEST_F(TriggerActionsTest, ClipEndStartsTheToolWithTheQuotedPathAndHoldsOff) {
    gadgets.setState(Gadget::recordModeCheck, 1);
    gadgets.setState(Gadget::videoToolCheck, 1);
    gadgets.setText(Gadget::videoToolField, "/opt/my tools/cut");
    actions.runTriggerActions();
    actions.onCaptureStatus(kCaptureBegins, {});
    EXPECT_TRUE(state.recordingActive);
    actions.onCaptureStatus(kCaptureEnds, {});
    EXPECT_FALSE(state.recordingActive);
    EXPECT_EQ(state.holdOffFrames, 300);
    EXPECT_EQ(calls.back(), "launch /opt/my tools/cut " + actions.lastVideoPath());
}

TEST_F(TriggerActionsTest, WaitOfZeroLetsTheNextRunTrigger) {
    gadgets.setState(Gadget::recordModeCheck, 1);
    gadgets.setState(Gadget::waitSpin, 0);
    actions.runTriggerActions();
    actions.onCaptureStatus(kCaptureBegins, {});
    actions.onCaptureStatus(kCaptureEnds, {});
    EXPECT_EQ(state.holdOffFrames, 0);
}

TEST_F(TriggerActionsTest, EndWithoutBeginAndOtherStatusesDoNothing) {
    gadgets.setState(Gadget::videoToolCheck, 1);
    gadgets.setText(Gadget::videoToolField, "/usr/bin/tool");
    state.holdOffFrames = 1;
    actions.onCaptureStatus(kCaptureEnds, {});
    actions.onCaptureStatus(302, {});
    EXPECT_EQ(state.holdOffFrames, 1);
    EXPECT_FALSE(state.recordingActive);
    EXPECT_TRUE(calls.empty());
}

TEST_F(TriggerActionsTest, FailedClipStartsNoToolButDetectionGoesOn) {
    gadgets.setState(Gadget::recordModeCheck, 1);
    gadgets.setState(Gadget::videoToolCheck, 1);
    gadgets.setText(Gadget::videoToolField, "/usr/bin/tool");
    actions.runTriggerActions();
    actions.onCaptureStatus(kCaptureBegins, {});
    // The camera removes what a failed clip left.
    std::filesystem::remove(actions.lastVideoPath());
    actions.onCaptureStatus(kCaptureEnds, "No space left on device");
    EXPECT_FALSE(state.recordingActive);
    EXPECT_EQ(state.holdOffFrames, 300);
    EXPECT_EQ(calls, (std::vector<std::string>{"record"}));
    // Its file is gone, and so is its row.
    EXPECT_EQ(gadgets.countItems(Gadget::videoList), 0);
}

TEST_F(TriggerActionsTest, AClipIsUnderWayFromItsRequestToItsEnd) {
    gadgets.setState(Gadget::recordModeCheck, 1);
    EXPECT_FALSE(actions.clipUnderWay());
    actions.runTriggerActions();
    EXPECT_TRUE(actions.clipUnderWay()) << "before the camera said that it began";
    actions.onCaptureStatus(kCaptureBegins, {});
    EXPECT_TRUE(actions.clipUnderWay());
    actions.onCaptureStatus(kCaptureEnds, {});
    EXPECT_FALSE(actions.clipUnderWay());
}

TEST_F(TriggerActionsTest, AClipThatCouldNotStartWaitsAsAFinishedOne) {
    gadgets.setState(Gadget::recordModeCheck, 1);
    gadgets.setState(Gadget::videoToolCheck, 1);
    gadgets.setText(Gadget::videoToolField, "/usr/bin/tool");
    actions.runTriggerActions();
    std::filesystem::remove(actions.lastVideoPath());
    actions.onCaptureStatus(kCaptureEnds, "less than 200 MB free on the disk");
    EXPECT_EQ(state.holdOffFrames, 300);
    EXPECT_FALSE(actions.clipUnderWay());
    EXPECT_FALSE(state.recordingActive);
    EXPECT_EQ(calls, (std::vector<std::string>{"record"})) << "no tool for a clip that is not";
}

TEST_F(TriggerActionsTest, AFinishedClipKeepsItsRow) {
    gadgets.setState(Gadget::recordModeCheck, 1);
    actions.runTriggerActions();
    actions.onCaptureStatus(kCaptureBegins, {});
    actions.onCaptureStatus(kCaptureEnds, {});
    EXPECT_EQ(gadgets.countItems(Gadget::videoList), 1);
}

TEST_F(TriggerActionsTest, NoSecondClipBeforeTheFirstHasEnded) {
    gadgets.setState(Gadget::recordModeCheck, 1);
    actions.runTriggerActions();
    actions.runTriggerActions();
    EXPECT_EQ(clips.size(), 1u);
    EXPECT_EQ(gadgets.countItems(Gadget::videoList), 1);
    actions.onCaptureStatus(kCaptureEnds, "the recording does not start");
    actions.runTriggerActions();
    EXPECT_EQ(clips.size(), 2u);
}

}  // namespace
