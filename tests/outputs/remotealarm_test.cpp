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

}  // namespace
