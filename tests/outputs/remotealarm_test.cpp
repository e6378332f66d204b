// The remote alarm started as the settings file says, its messages read back from its outbox:
// the servers are unreachable, so what was made waits there.

#include "outputs/remotealarm.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
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
                                         .settingsFile = m_settings,
                                         .profile = {},
                                         .picture = [] { return std::string("JPEG"); },
                                         .report = [](const WatchEvent&) {}},
                                        failure);
        EXPECT_TRUE(alarm) << failure;
        return alarm;
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
    RemoteAlarmEvents events;
    events.push = "wache, programm,unbekannt";
    events.mqtt = "upload";
    saveRemoteAlarmEvents(events, m_settings);
    auto alarm = start();
    ASSERT_TRUE(alarm);
    for (const Kind kind : {Kind::Trigger, Kind::WatchSwitched, Kind::ProgramStart,
                            Kind::UploadFailed, Kind::SettingsNotSaved})
        alarm->onWatchEvent({.kind = kind});
    alarm.reset();
    EXPECT_EQ(waiting(), (std::multiset<std::string>{
                             said(AlertChannel::Push, Kind::WatchSwitched),
                             said(AlertChannel::Push, Kind::ProgramStart),
                             said(AlertChannel::Mqtt, Kind::UploadFailed),
                         }));
}

// Without a choice a channel sends a trigger, a clip and the camera.
TEST_F(RemoteAlarmTest, WithoutAChoiceTheDefaultEventsGo) {
    auto alarm = start();
    ASSERT_TRUE(alarm);
    for (const Kind kind : {Kind::ClipFailed, Kind::CameraBack, Kind::WatchSwitched})
        alarm->onWatchEvent({.kind = kind});
    alarm.reset();
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
    RemoteAlarmEvents events;
    events.push = "";
    events.mqtt = "ausloesung";
    saveRemoteAlarmEvents(events, m_settings);
    auto alarm = start();
    ASSERT_TRUE(alarm);
    for (const Kind kind :
         {Kind::ClipFinished, Kind::CameraLost, Kind::CameraBack, Kind::ProgramEnd})
        alarm->onWatchEvent({.kind = kind});
    alarm.reset();
    EXPECT_EQ(waiting(), (std::multiset<std::string>{
                             said(AlertChannel::Mqtt, Kind::ClipFinished, true),
                             said(AlertChannel::Mqtt, Kind::CameraLost, true),
                             said(AlertChannel::Mqtt, Kind::CameraBack, true),
                         }));
}

}  // namespace
