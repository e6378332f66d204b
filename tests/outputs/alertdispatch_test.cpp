// The remote alarm's messages as the watch's events make them, with the clocks and the picture
// in the test's hand.

#include "outputs/alertdispatch.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

using Kind = WatchEvent::Kind;

class AlertDispatchTest : public ::testing::Test {
protected:
    AlertDispatch dispatch(std::vector<AlertChannelChoice> channels, int spacingSeconds = 30) {
        return AlertDispatch(
            std::move(channels), spacingSeconds, "Flur",
            {.picture =
                 [this] {
                     ++pictures;
                     return std::string("JPEG") + std::to_string(pictures);
                 },
             .steadyMs = [this] { return steadyMs; },
             .wallMs = [this] { return wallMs; },
             .enqueue = [this](AlertMessage message) { sent.push_back(std::move(message)); }});
    }
    static WatchEvent trigger() { return {.kind = Kind::Trigger, .changePercent = 40.0f}; }

    std::int64_t steadyMs = 1'000'000;
    std::int64_t wallMs = 1'765'361'472'123;
    int pictures = 0;
    std::vector<AlertMessage> sent;
};

// Each channel gets its own message of the event, all with the one picture of the moment.
TEST_F(AlertDispatchTest, ATriggerGoesToEachChannelWithThePictureOfTheMoment) {
    AlertDispatch alarm =
        dispatch({{AlertChannel::Mail}, {AlertChannel::Push}, {AlertChannel::Mqtt}});
    alarm.onWatchEvent(trigger());
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(pictures, 1);
    for (const AlertMessage& message : sent) {
        EXPECT_EQ(message.event.kind, Kind::Trigger);
        EXPECT_EQ(message.picture, "JPEG1");
        EXPECT_EQ(message.createdMs, wallMs);
        EXPECT_EQ(message.profile, "Flur");
        EXPECT_EQ(message.furtherTriggers, 0);
    }
    EXPECT_EQ(sent[0].channel, AlertChannel::Mail);
    EXPECT_EQ(sent[1].channel, AlertChannel::Push);
    EXPECT_EQ(sent[2].channel, AlertChannel::Mqtt);
}

// Within the spacing the triggers are only counted; the next trigger after it says how many.
TEST_F(AlertDispatchTest, TriggersWithinTheSpacingAreCountedIntoTheNextMessage) {
    AlertDispatch alarm = dispatch({{AlertChannel::Push}});
    alarm.onWatchEvent(trigger());
    for (int second = 1; second <= 4; ++second) {
        steadyMs += 5000;
        alarm.onWatchEvent(trigger());
    }
    EXPECT_EQ(sent.size(), 1u);
    EXPECT_EQ(pictures, 1) << "no picture is taken for a trigger that is only counted";
    steadyMs += 10'000;  // 30 s after the first
    alarm.onWatchEvent(trigger());
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1].furtherTriggers, 4);
    steadyMs += 30'000;
    alarm.onWatchEvent(trigger());
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[2].furtherTriggers, 0);
}

// The spacing is each channel's own, and the other events are never held back.
TEST_F(AlertDispatchTest, OnlyTriggersAreSpacedAndEachChannelByItself) {
    AlertDispatch alarm = dispatch({{AlertChannel::Mail}, {AlertChannel::Mqtt}}, 60);
    alarm.onWatchEvent(trigger());
    steadyMs += 1000;
    alarm.onWatchEvent({.kind = Kind::ClipFinished, .clipPath = "/v/Video_Sentello_1.avi"});
    alarm.onWatchEvent({.kind = Kind::CameraLost});
    ASSERT_EQ(sent.size(), 6u);
    EXPECT_TRUE(sent[2].picture.empty()) << "only a trigger carries the picture";
    EXPECT_EQ(sent[3].event.clipPath, "/v/Video_Sentello_1.avi");
}

// With a spacing of 0 every trigger makes its message.
TEST_F(AlertDispatchTest, ASpacingOfZeroSendsEveryTrigger) {
    AlertDispatch alarm = dispatch({{AlertChannel::Mail}}, 0);
    for (int trigger = 0; trigger < 3; ++trigger)
        alarm.onWatchEvent(AlertDispatchTest::trigger());
    EXPECT_EQ(sent.size(), 3u);
    EXPECT_EQ(pictures, 3);
}

// By default a channel sends a trigger, a clip and the camera lost and back; what the user did
// not choose it never sends.
TEST_F(AlertDispatchTest, AChannelSendsOnlyTheKindsChosen) {
    AlertDispatch alarm = dispatch(
        {{AlertChannel::Mail}, {AlertChannel::Mqtt, {Kind::CameraBack, Kind::WatchSwitched}}});
    for (const Kind kind : {Kind::Trigger, Kind::ClipFinished, Kind::ClipFailed, Kind::CameraLost,
                            Kind::CameraBack, Kind::WatchSwitched, Kind::ProgramStart,
                            Kind::ProgramEnd, Kind::UploadFailed, Kind::SettingsNotSaved}) {
        alarm.onWatchEvent({.kind = kind});
    }
    std::vector<Kind> mail;
    std::vector<Kind> mqtt;
    for (const AlertMessage& message : sent)
        (message.channel == AlertChannel::Mail ? mail : mqtt).push_back(message.event.kind);
    EXPECT_EQ(mail, (std::vector<Kind>{Kind::Trigger, Kind::ClipFinished, Kind::ClipFailed,
                                       Kind::CameraLost, Kind::CameraBack}));
    EXPECT_EQ(mqtt, (std::vector<Kind>{Kind::CameraBack, Kind::WatchSwitched}));
}

// A channel's words name the kinds it sends; a word of no kind is passed over, and the default
// is what the default words name.
TEST(AlertKindsOf, EachWordNamesItsKindsAndUnknownWordsArePassedOver) {
    EXPECT_EQ(alertKindsOf("ausloesung"), std::set<Kind>{Kind::Trigger});
    EXPECT_EQ(alertKindsOf("video"), (std::set<Kind>{Kind::ClipFinished, Kind::ClipFailed}));
    EXPECT_EQ(alertKindsOf("kamera"), (std::set<Kind>{Kind::CameraLost, Kind::CameraBack}));
    EXPECT_EQ(alertKindsOf("wache"), (std::set<Kind>{Kind::WatchSwitched, Kind::WatchResumed}));
    EXPECT_EQ(alertKindsOf("programm"), (std::set<Kind>{Kind::ProgramStart, Kind::ProgramEnd}));
    EXPECT_EQ(alertKindsOf("upload"), std::set<Kind>{Kind::UploadFailed});
    EXPECT_EQ(alertKindsOf(" upload , zauber,,wache,Video"),
              (std::set<Kind>{Kind::UploadFailed, Kind::WatchSwitched, Kind::WatchResumed}));
    EXPECT_TRUE(alertKindsOf("").empty());
    EXPECT_EQ(AlertChannelChoice::defaultAlertKinds(),
              (std::set<Kind>{Kind::Trigger, Kind::ClipFinished, Kind::ClipFailed, Kind::CameraLost,
                              Kind::CameraBack}));
    EXPECT_EQ(AlertChannelChoice{}.sends, alertKindsOf(kDefaultAlertEvents));
}

// A channel that keeps a state by a kind it does not send gets a message that only sets the
// state, without the picture, and its trigger spacing stays untouched.
TEST_F(AlertDispatchTest, AKindNotChosenButKeptAsStateMakesAStateOnlyMessage) {
    AlertDispatch alarm =
        dispatch({{AlertChannel::Mail, {Kind::CameraLost}},
                  {AlertChannel::Mqtt, {Kind::Trigger}, {Kind::ClipFinished, Kind::CameraLost}}});
    alarm.onWatchEvent({.kind = Kind::ClipFinished});
    alarm.onWatchEvent({.kind = Kind::CameraLost});
    alarm.onWatchEvent({.kind = Kind::CameraBack});
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].channel, AlertChannel::Mqtt);
    EXPECT_EQ(sent[0].event.kind, Kind::ClipFinished);
    EXPECT_TRUE(sent[0].stateOnly);
    EXPECT_EQ(sent[1].channel, AlertChannel::Mail);
    EXPECT_FALSE(sent[1].stateOnly);
    EXPECT_EQ(sent[2].channel, AlertChannel::Mqtt);
    EXPECT_EQ(sent[2].event.kind, Kind::CameraLost);
    EXPECT_TRUE(sent[2].stateOnly);
    EXPECT_EQ(pictures, 0);
}

}  // namespace
