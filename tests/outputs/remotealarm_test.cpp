// The remote alarm started as the settings file says, its messages read back from its outbox:
// the servers are unreachable, so what was made waits there.

#include "outputs/remotealarm.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <optional>
#include <sstream>

#include "../tempfolder.h"
#include "outputs/alertmessagetext.h"
#include "outputs/outboxfolder.h"
#include "settings/remotealarmevents.h"

namespace {

using Kind = WatchEvent::Kind;

class RemoteAlarmTest : public testing::Test {
protected:
    // Push and MQTT switched on, both to a port where nobody listens.
    std::unique_ptr<RemoteAlarm> start() {
        RemoteAlarmOptions options;
        options.push = true;
        options.pushUrl = "http://127.0.0.1:1/alarm";
        options.mqtt = true;
        options.mqttServer = "127.0.0.1";
        options.mqttPort = 1;
        std::string failure;
        auto alarm = RemoteAlarm::start({.options = options,
                                         .copy = {},
                                         .settingsFile = m_settings,
                                         .profile = {},
                                         .picture = [] { return std::string("JPEG"); },
                                         .report = [](const WatchEvent&) {}},
                                        failure);
        EXPECT_TRUE(alarm) << failure;
        return alarm;
    }

    // The remote alarm started with the events `chosen` (none: the defaults), told of `kinds`
    // one after another, and ended.
    void watch(const std::optional<RemoteAlarmEvents>& chosen, std::initializer_list<Kind> kinds) {
        if (chosen)
            saveRemoteAlarmEvents(*chosen, m_settings);
        auto alarm = start();
        ASSERT_TRUE(alarm);
        for (const Kind kind : kinds)
            alarm->onWatchEvent({.kind = kind});
    }

    // The messages the outbox holds, "<channel> <event kind>" and "state" for those that only
    // keep a state.
    std::multiset<std::string> waiting() const {
        std::multiset<std::string> messages;
        for (const auto& entry : std::filesystem::directory_iterator(outboxPath(m_settings))) {
            if (entry.path().extension() != ".msg")
                continue;
            std::ifstream in(entry.path(), std::ios::binary);
            std::stringstream text;
            text << in.rdbuf();
            const std::optional<AlertMessage> message = parseAlertMessageText(text.str());
            if (!message) {
                ADD_FAILURE() << entry.path();
                continue;
            }
            messages.insert(
                std::string(message->channel == AlertChannel::Push ? "push " : "mqtt ") +
                std::to_string(static_cast<int>(message->event.kind)) +
                (message->stateOnly ? " state" : ""));
        }
        return messages;
    }
    static std::string said(AlertChannel channel, Kind kind, bool stateOnly = false) {
        return std::string(channel == AlertChannel::Push ? "push " : "mqtt ") +
               std::to_string(static_cast<int>(kind)) + (stateOnly ? " state" : "");
    }

    TempFolder m_temp;
    std::string m_settings = (m_temp.path() / "Sentello.prefs").string();
};

TEST_F(RemoteAlarmTest, EachChannelSendsTheEventsTheUserChoseForIt) {
    watch(RemoteAlarmEvents{.push = "wache, programm,unbekannt", .mqtt = "upload"},
          {Kind::Trigger, Kind::WatchSwitched, Kind::ProgramStart, Kind::UploadFailed,
           Kind::SettingsNotSaved});
    EXPECT_EQ(waiting(), (std::multiset<std::string>{
                             said(AlertChannel::Push, Kind::WatchSwitched),
                             said(AlertChannel::Push, Kind::ProgramStart),
                             said(AlertChannel::Mqtt, Kind::UploadFailed),
                         }));
}

// Without a choice a channel sends a trigger, a clip and the camera.
TEST_F(RemoteAlarmTest, WithoutAChoiceTheDefaultEventsGo) {
    watch(std::nullopt, {Kind::ClipFailed, Kind::CameraBack, Kind::WatchSwitched});
    EXPECT_EQ(waiting(), (std::multiset<std::string>{
                             said(AlertChannel::Push, Kind::ClipFailed),
                             said(AlertChannel::Push, Kind::CameraBack),
                             said(AlertChannel::Mqtt, Kind::ClipFailed),
                             said(AlertChannel::Mqtt, Kind::CameraBack),
                         }));
}

// MQTT's motion and camera state follow the watch whatever the user chose: the messages of
// the events not chosen only set the state.
TEST_F(RemoteAlarmTest, MqttKeepsItsMotionAndCameraStateWhateverTheChoice) {
    watch(RemoteAlarmEvents{.push = "", .mqtt = "ausloesung"},
          {Kind::ClipFinished, Kind::CameraLost, Kind::CameraBack, Kind::ProgramEnd});
    EXPECT_EQ(waiting(), (std::multiset<std::string>{
                             said(AlertChannel::Mqtt, Kind::ClipFinished, true),
                             said(AlertChannel::Mqtt, Kind::CameraLost, true),
                             said(AlertChannel::Mqtt, Kind::CameraBack, true),
                         }));
}

// The copies switched on alone, to a port where nobody listens: every trigger's picture (no
// spacing), the finished clip and a part of a clip wait as copies, each clip and part in the
// folder of the day on which its clip began, and no alarm message is made.
TEST_F(RemoteAlarmTest, CopiesTakeEachTriggersPictureAndTheClipsInTheDayTheyBegan) {
    std::string failure;
    auto alarm = RemoteAlarm::start(
        {.options = {},
         .copy = CopyTarget{CopyProtocol::Ftp, "127.0.0.1", 1, {}, {}, "sentello", {}},
         .settingsFile = m_settings,
         .profile = {},
         .picture = [] { return std::string("JPEG"); },
         .report = [](const WatchEvent&) {}},
        failure);
    ASSERT_TRUE(alarm) << failure;
    // The clips are there: a clip gone before its copy went drops its message.
    const std::string clip = (m_temp.path() / "Video_Sentello_20261210235958.avi").string();
    const std::string part = (m_temp.path() / "teil1.avi").string();
    std::ofstream(clip) << "Video";
    std::ofstream(part) << "Teil";
    const DateFields evening{2026, 12, 10, 23, 59, 58};
    const DateFields morning{2026, 12, 11, 0, 0, 3};
    alarm->onWatchEvent({.kind = Kind::Trigger,
                         .when = evening,
                         .effect = WatchEvent::Effect::ClipStarted,
                         .clipPath = clip});
    alarm->onWatchEvent({.kind = Kind::Trigger, .when = evening});
    alarm->copyClipPart("Video_Sentello_20261210235958.avi", 1, part);
    alarm->onWatchEvent({.kind = Kind::ClipFinished, .when = morning, .clipPath = clip});
    alarm->onWatchEvent({.kind = Kind::CameraLost, .when = morning});
    alarm.reset();

    std::multiset<std::string> copies;
    for (const auto& entry : std::filesystem::directory_iterator(outboxPath(m_settings))) {
        if (entry.path().extension() != ".msg")
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        const std::optional<AlertMessage> message = parseAlertMessageText(text.str());
        ASSERT_TRUE(message) << entry.path();
        const bool picture =
            std::filesystem::exists(std::filesystem::path(entry.path()).replace_extension(".jpg"));
        copies.insert(
            std::string(message->channel == AlertChannel::CopyPicture ? "bild" : "video") +
            (picture ? " mit Bild " : " ") + std::to_string(message->event.when.day) + " " +
            std::to_string(message->event.count) + " " + message->event.clipPath);
    }
    EXPECT_EQ(copies, (std::multiset<std::string>{
                          "bild mit Bild 10 0 " + clip,
                          "bild mit Bild 10 0 ",
                          "video 10 1 " + part,
                          "video 10 0 " + clip,
                      }));
}

}  // namespace
