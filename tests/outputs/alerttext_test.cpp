// Every event a channel can be chosen to send, in the words of each channel: the title and
// the lines of a mail or a push, the JSON's "event", and MQTT's topics.

#include "outputs/alerttext.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

#include "outputs/alertdispatch.h"
#include "outputs/mailmessage.h"
#include "outputs/mqttmessages.h"

namespace {

using Kind = WatchEvent::Kind;

struct Expected {
    WatchEvent event;
    const char* title;
    const char* eventLine;
    const char* word;
};

AlertMessage messageOf(const WatchEvent& event) {
    AlertMessage message;
    message.id = "1765361472123-00000000000000aa";
    message.channel = AlertChannel::Mqtt;
    message.createdMs = 1'765'361'472'123;
    message.event = event;
    message.event.when = {2025, 12, 10, 11, 12, 13};
    return message;
}

const std::vector<Expected>& expectations() {
    static const std::vector<Expected> table{
        {{.kind = Kind::Trigger, .changePercent = 40.0f},
         "Sentello: Bewegung erkannt",
         "Ereignis: Auslösung, 40 %",
         "motion"},
        {{.kind = Kind::ClipFinished, .clipPath = "/v/Video_1.avi"},
         "Sentello: Video fertig",
         "Ereignis: Video fertig, Video_1.avi",
         "clip_finished"},
        {{.kind = Kind::ClipFailed, .clipPath = "/v/Video_1.avi", .reason = "Platte voll"},
         "Sentello: Video fehlgeschlagen",
         "Ereignis: Video fehlgeschlagen, Video_1.avi, Platte voll",
         "clip_failed"},
        {{.kind = Kind::CameraLost},
         "Sentello: Kamera verloren",
         "Ereignis: Kamera verloren",
         "camera_lost"},
        {{.kind = Kind::CameraBack, .reconnections = 3},
         "Sentello: Kamera wieder da",
         "Ereignis: Kamera wieder da, nach 3 Verbindungsversuchen",
         "camera_back"},
        {{.kind = Kind::WatchSwitched, .on = true},
         "Sentello: Aufzeichnungs-Modus eingeschaltet",
         "Ereignis: Aufzeichnungs-Modus eingeschaltet",
         "watch_on"},
        {{.kind = Kind::WatchSwitched, .on = false},
         "Sentello: Aufzeichnungs-Modus ausgeschaltet",
         "Ereignis: Aufzeichnungs-Modus ausgeschaltet",
         "watch_off"},
        {{.kind = Kind::WatchResumed, .reason = "nach Absturz"},
         "Sentello: Überwachung fortgesetzt",
         "Ereignis: Überwachung fortgesetzt, nach Absturz",
         "watch_resumed"},
        {{.kind = Kind::ProgramStart, .version = "Version 1.17", .source = "/dev/video0"},
         "Sentello: Programm gestartet",
         "Ereignis: Start, Sentello Version 1.17, /dev/video0",
         "program_start"},
        {{.kind = Kind::ProgramEnd}, "Sentello: Programm beendet", "Ereignis: Ende", "program_end"},
        {{.kind = Kind::UploadFailed,
          .step = "connect",
          .reason = "Server nicht erreichbar",
          .detail = "ftp://nas/"},
         "Sentello: Upload fehlgeschlagen",
         "Ereignis: Upload fehlgeschlagen, connect, Server nicht erreichbar, ftp://nas/",
         "upload_failed"},
    };
    return table;
}

// The words of the event choice name exactly the kinds of the table: none is left without its
// own texts.
TEST(AlertText, TheTableCoversEveryKindAChannelCanBeChosenToSend) {
    const std::set<Kind> all = alertKindsOf("ausloesung,video,kamera,wache,programm,upload");
    std::set<Kind> covered;
    for (const Expected& expected : expectations())
        covered.insert(expected.event.kind);
    EXPECT_EQ(covered, all);
}

TEST(AlertText, EachChosenEventHasItsTitleLineAndWordInMailPushAndJson) {
    for (const Expected& expected : expectations()) {
        SCOPED_TRACE(expected.word);
        const AlertMessage message = messageOf(expected.event);
        EXPECT_EQ(alertTitle(message), expected.title);
        EXPECT_EQ(mailSubject(message), std::string(expected.title) + " – 10.12.2025 11:12:13");
        const std::vector<std::string> lines = alertLines(message);
        EXPECT_NE(std::find(lines.begin(), lines.end(), expected.eventLine), lines.end())
            << testing::PrintToString(lines);
        EXPECT_EQ(alertEventWord(message), expected.word);
        const QJsonObject json =
            QJsonDocument::fromJson(QByteArray::fromStdString(alertJson(message, true))).object();
        EXPECT_EQ(json.value("event").toString().toStdString(), expected.word);
        EXPECT_EQ(json.value("id").toString().toStdString(), message.id);
    }
}

// MQTT says every chosen event as its JSON message under "<prefix>/event".
TEST(AlertText, EachChosenEventIsOneJsonMessageInMqtt) {
    for (const Expected& expected : expectations()) {
        SCOPED_TRACE(expected.word);
        int events = 0;
        for (const MqttPublication& publication :
             mqttPublications(messageOf(expected.event), "sentello")) {
            if (publication.topic != "sentello/event")
                continue;
            ++events;
            const QJsonObject json =
                QJsonDocument::fromJson(QByteArray::fromStdString(publication.payload)).object();
            EXPECT_EQ(json.value("event").toString().toStdString(), expected.word);
        }
        EXPECT_EQ(events, 1);
    }
}

// Of an event the user did not choose for MQTT only the state goes: the motion is cleared when
// the clip ends and the camera's state follows the camera, without an event message.
TEST(AlertText, AMessageThatOnlyKeepsTheStateSetsItWithoutAnEventMessage) {
    const auto topics = [](const WatchEvent& event) {
        AlertMessage message = messageOf(event);
        message.stateOnly = true;
        std::vector<std::string> said;
        for (const MqttPublication& publication : mqttPublications(message, "sentello"))
            said.push_back(publication.topic + "=" + publication.payload);
        return said;
    };
    EXPECT_EQ(topics({.kind = Kind::ClipFinished}),
              std::vector<std::string>{"sentello/motion=OFF"});
    EXPECT_EQ(topics({.kind = Kind::ClipFailed}), std::vector<std::string>{"sentello/motion=OFF"});
    EXPECT_EQ(topics({.kind = Kind::CameraLost}),
              std::vector<std::string>{"sentello/camera=offline"});
    EXPECT_EQ(topics({.kind = Kind::CameraBack}),
              std::vector<std::string>{"sentello/camera=online"});
    for (const Kind kind : mqttStateKinds()) {
        AlertMessage message = messageOf({.kind = kind});
        message.stateOnly = true;
        for (const MqttPublication& publication : mqttPublications(message, "sentello"))
            EXPECT_NE(publication.topic, "sentello/event");
    }
}

}  // namespace
