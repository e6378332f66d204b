#include "outputs/mqttsender.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <chrono>
#include <set>
#include <thread>

#include "../boundedcall.h"
#include "mosquittobroker.h"
#include "mqttsubscriber.h"
#include "servertest.h"

namespace {

using Outcome = Delivery::Outcome;
const std::string kPrefix = "sentello/Garage";
// A JPEG's bytes as far as the channel is concerned: binary, with a NUL among them.
const std::string kPicture = std::string("\xff\xd8\xff\xe0", 4) + std::string(1, '\0') +
                             std::string(70000, 'x') + "\xff\xd9";

MqttSettings settingsFor(const MosquittoBroker& broker) {
    MqttSettings settings;
    settings.server = "127.0.0.1";
    settings.port = broker.port();
    settings.user = MosquittoBroker::kUser;
    settings.password = MosquittoBroker::kPassword;
    settings.profile = "Garage";
    return settings;
}

AlertMessage messageOf(WatchEvent::Kind kind) {
    AlertMessage message;
    message.id = "0193a1b2-7f00-7000-8000-00000000002a";
    message.channel = AlertChannel::Mqtt;
    message.createdMs = 1765350000000;
    message.event.kind = kind;
    message.profile = "Garage";
    return message;
}

AlertMessage triggerOf(WatchEvent::Effect effect) {
    AlertMessage message = messageOf(WatchEvent::Kind::Trigger);
    message.event.changePercent = 37.5f;
    message.event.effect = effect;
    message.event.count = 7;
    if (effect == WatchEvent::Effect::ClipStarted)
        message.event.clipPath = "/home/wache/Videos/2025-12-10_08-00-00.avi";
    message.furtherTriggers = 4;
    message.picture = kPicture;
    return message;
}

// Sends until the broker has given its answer (a connection takes a moment), at most 40 s.
Delivery settle(MqttSender& sender, const AlertMessage& message) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(40);
    for (;;) {
        Delivery delivery = sender.send(message);
        if (delivery.outcome != Outcome::TryAgain || std::chrono::steady_clock::now() > until)
            return delivery;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

QJsonObject jsonOf(const std::string& payload) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(payload)).object();
}

std::string lastOf(const std::vector<std::string>& payloads) {
    return payloads.empty() ? std::string() : payloads.back();
}

}  // namespace

TEST(MqttSender, AnnouncesItselfToHomeAssistantAndSaysOfflineAtItsEnd) {
    MosquittoBroker broker;
    ASSERT_TRUE(broker.start());
    MqttSubscriber subscriber(broker.port(), MosquittoBroker::kUser, MosquittoBroker::kPassword);
    const std::string motionConfig = "homeassistant/binary_sensor/sentello_Garage/motion/config";
    const std::string pictureConfig = "homeassistant/camera/sentello_Garage/picture/config";
    const std::string cameraConfig = "homeassistant/binary_sensor/sentello_Garage/camera/config";
    {
        MqttSender sender(settingsFor(broker));
        ASSERT_TRUE(subscriber.waitFor(kPrefix + "/status", "online"));
    }
    ASSERT_TRUE(subscriber.waitFor(kPrefix + "/status", "offline"));

    // Retained, all of it: a subscriber that comes later learns it too.
    MqttSubscriber later(broker.port(), MosquittoBroker::kUser, MosquittoBroker::kPassword);
    later.waitFor([&](const auto& messages) {
        const auto count = [&](const std::string& topic) {
            return MqttSubscriber::payloadsOf(messages, topic).size();
        };
        return count(kPrefix + "/status") > 0 && count(motionConfig) > 0 &&
               count(pictureConfig) > 0 && count(cameraConfig) > 0;
    });
    EXPECT_EQ(later.payloads(kPrefix + "/status"), std::vector<std::string>{"offline"});
    const QJsonObject motion = jsonOf(lastOf(later.payloads(motionConfig)));
    EXPECT_EQ(motion["device_class"].toString(), "motion");
    EXPECT_EQ(motion["state_topic"].toString().toStdString(), kPrefix + "/motion");
    EXPECT_EQ(motion["payload_on"].toString(), "ON");
    EXPECT_EQ(motion["payload_off"].toString(), "OFF");
    const QJsonObject picture = jsonOf(lastOf(later.payloads(pictureConfig)));
    EXPECT_EQ(picture["topic"].toString().toStdString(), kPrefix + "/picture");
    const QJsonObject camera = jsonOf(lastOf(later.payloads(cameraConfig)));
    EXPECT_EQ(camera["state_topic"].toString().toStdString(), kPrefix + "/camera");
    EXPECT_EQ(camera["payload_on"].toString(), "online");
    EXPECT_EQ(camera["payload_off"].toString(), "offline");

    std::set<QString> uniqueIds;
    for (const QJsonObject& entity : {motion, picture, camera}) {
        EXPECT_EQ(entity["availability_topic"].toString().toStdString(), kPrefix + "/status");
        EXPECT_EQ(entity["device"].toObject(), motion["device"].toObject());
        EXPECT_TRUE(entity["unique_id"].toString().startsWith("sentello_Garage_"));
        uniqueIds.insert(entity["unique_id"].toString());
    }
    EXPECT_EQ(uniqueIds.size(), 3u);
    EXPECT_FALSE(motion["device"].toObject()["identifiers"].toArray().isEmpty());
}

// The dialog's test goes out beside the running alarm: neither its connection nor its end may
// make the program look gone, nor push the running connection off the broker.
TEST(MqttSender, ATestsConnectionLeavesTheRunningProgramsStatusAlone) {
    MosquittoBroker broker;
    ASSERT_TRUE(broker.start());
    MqttSubscriber subscriber(broker.port(), MosquittoBroker::kUser, MosquittoBroker::kPassword);
    MqttSender running(settingsFor(broker));
    ASSERT_TRUE(subscriber.waitFor(kPrefix + "/status", "online"));
    {
        MqttSettings settings = settingsFor(broker);
        settings.standsForProgram = false;
        MqttSender test(settings);
        AlertMessage message = messageOf(WatchEvent::Kind::WatchSwitched);
        message.test = true;
        EXPECT_EQ(settle(test, message).outcome, Outcome::Delivered);
    }
    // The running connection still delivers, after whatever the test's end said.
    EXPECT_EQ(settle(running, triggerOf(WatchEvent::Effect::ClipStarted)).outcome,
              Outcome::Delivered);
    ASSERT_TRUE(subscriber.waitFor(kPrefix + "/motion", "ON"));
    EXPECT_EQ(subscriber.payloads(kPrefix + "/status"), std::vector<std::string>{"online"});
}

// The dialog's test sends at once on a new connection: it waits for the connection under way
// instead of failing for want of it.
TEST(MqttSender, TheFirstSendWaitsForTheConnectionBegunAtTheStart) {
    MosquittoBroker broker;
    ASSERT_TRUE(broker.start());
    MqttSender sender(settingsFor(broker));
    const Delivery delivery = sender.send(triggerOf(WatchEvent::Effect::ClipStarted));
    EXPECT_EQ(delivery.outcome, Outcome::Delivered) << delivery.reason;
}

TEST(MqttSender, TheFirstSendToABrokerThatIsDownIsTriedAgainLater) {
    MqttSettings settings;
    settings.server = "127.0.0.1";
    settings.port = freePort();
    MqttSender sender(settings);
    Delivery delivery;
    ASSERT_TRUE(endsWithin(std::chrono::seconds(30), [&] {
        delivery = sender.send(triggerOf(WatchEvent::Effect::ClipStarted));
    }));
    EXPECT_EQ(delivery.outcome, Outcome::TryAgain);
}

TEST(MqttSender, TriggerSetsMotionWithPictureAndTheClipsEndClearsIt) {
    MosquittoBroker broker;
    ASSERT_TRUE(broker.start());
    MqttSubscriber subscriber(broker.port(), MosquittoBroker::kUser, MosquittoBroker::kPassword);
    MqttSender sender(settingsFor(broker));
    ASSERT_TRUE(subscriber.waitFor(kPrefix + "/status", "online"));

    const Delivery started = settle(sender, triggerOf(WatchEvent::Effect::ClipStarted));
    ASSERT_EQ(started.outcome, Outcome::Delivered) << started.reason;
    // Everything was acknowledged, so the broker has passed it on already or is about to.
    ASSERT_TRUE(subscriber.waitFor(kPrefix + "/motion", "ON"));
    ASSERT_TRUE(subscriber.waitFor(kPrefix + "/picture", kPicture));
    subscriber.waitFor([](const auto& messages) {
        return !MqttSubscriber::payloadsOf(messages, kPrefix + "/event").empty();
    });
    const QJsonObject event = jsonOf(lastOf(subscriber.payloads(kPrefix + "/event")));
    EXPECT_EQ(event["id"].toString(), "0193a1b2-7f00-7000-8000-00000000002a");
    EXPECT_EQ(event["event"].toString(), "motion");
    EXPECT_DOUBLE_EQ(event["share"].toDouble(), 37.5);
    EXPECT_EQ(event["further_triggers"].toInt(), 4);
    EXPECT_EQ(event["files"].toArray(), QJsonArray{"2025-12-10_08-00-00.avi"});
    const QString time = event["time"].toString();
    EXPECT_TRUE(QRegularExpression(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d(Z|[+-]\d\d:\d\d)$)")
                    .match(time)
                    .hasMatch())
        << time.toStdString();
    EXPECT_EQ(QDateTime::fromString(time, Qt::ISODate).toMSecsSinceEpoch(), 1765350000000);
    // The motion stays on while the clip runs.
    EXPECT_EQ(subscriber.payloads(kPrefix + "/motion"), std::vector<std::string>{"ON"});
    MqttSubscriber later(broker.port(), MosquittoBroker::kUser, MosquittoBroker::kPassword);
    EXPECT_TRUE(later.waitFor(kPrefix + "/picture", kPicture));

    AlertMessage finished = messageOf(WatchEvent::Kind::ClipFinished);
    finished.event.clipPath = "/home/wache/Videos/2025-12-10_08-00-00.avi";
    const Delivery ended = settle(sender, finished);
    ASSERT_EQ(ended.outcome, Outcome::Delivered) << ended.reason;
    ASSERT_TRUE(subscriber.waitFor(kPrefix + "/motion", "OFF"));
    EXPECT_EQ(subscriber.payloads(kPrefix + "/motion"), (std::vector<std::string>{"ON", "OFF"}));
    subscriber.waitFor([](const auto& messages) {
        return MqttSubscriber::payloadsOf(messages, kPrefix + "/event").size() >= 2;
    });
    EXPECT_EQ(jsonOf(lastOf(subscriber.payloads(kPrefix + "/event")))["event"].toString(),
              "clip_finished");
}

TEST(MqttSender, CountedTriggerEndsItsOwnMotionAndTheCameraStateIsRetained) {
    MosquittoBroker broker;
    ASSERT_TRUE(broker.start());
    MqttSubscriber subscriber(broker.port(), MosquittoBroker::kUser, MosquittoBroker::kPassword);
    MqttSender sender(settingsFor(broker));

    AlertMessage counted = triggerOf(WatchEvent::Effect::Counted);
    counted.picture.clear();
    ASSERT_EQ(settle(sender, counted).outcome, Outcome::Delivered);
    ASSERT_TRUE(subscriber.waitFor(kPrefix + "/motion", "OFF"));
    EXPECT_EQ(subscriber.payloads(kPrefix + "/motion"), (std::vector<std::string>{"ON", "OFF"}));
    EXPECT_TRUE(subscriber.payloads(kPrefix + "/picture").empty());
    const QJsonObject event = jsonOf(lastOf(subscriber.payloads(kPrefix + "/event")));
    EXPECT_EQ(event["count"].toInt(), 7);

    ASSERT_EQ(settle(sender, messageOf(WatchEvent::Kind::CameraLost)).outcome, Outcome::Delivered);
    MqttSubscriber later(broker.port(), MosquittoBroker::kUser, MosquittoBroker::kPassword);
    EXPECT_TRUE(later.waitFor(kPrefix + "/camera", "offline"));
    EXPECT_EQ(jsonOf(lastOf(subscriber.payloads(kPrefix + "/event")))["event"].toString(),
              "camera_lost");
}

TEST(MqttSender, LastWillSaysOfflineWhenTheProgramIsKilled) {
    MosquittoBroker broker;
    ASSERT_TRUE(broker.start());
    const MqttSettings settings = settingsFor(broker);
    int connected[2];
    ASSERT_EQ(::pipe(connected), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(connected[0]);
        MqttSender sender(settings);
        AlertMessage test = messageOf(WatchEvent::Kind::ProgramStart);
        test.test = true;
        if (settle(sender, test).outcome == Outcome::Delivered &&
            ::write(connected[1], "c", 1) == 1)
            for (;;)
                ::pause();
        ::_exit(1);
    }
    ::close(connected[1]);
    struct Reaper {
        pid_t pid;
        ~Reaper() {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    } reaper{child};
    pollfd ready{connected[0], POLLIN, 0};
    ASSERT_EQ(::poll(&ready, 1, 40000), 1);
    char answer = 0;
    ASSERT_EQ(::read(connected[0], &answer, 1), 1);
    ::close(connected[0]);

    MqttSubscriber subscriber(broker.port(), MosquittoBroker::kUser, MosquittoBroker::kPassword);
    ASSERT_TRUE(subscriber.waitFor(kPrefix + "/status", "online"));
    ::kill(child, SIGKILL);
    ASSERT_TRUE(subscriber.waitFor(kPrefix + "/status", "offline"));
}

TEST(MqttSender, TriesAgainWhileTheBrokerIsDownAndDeliversOnceItRuns) {
    MosquittoBroker broker;
    MqttSender sender(settingsFor(broker));
    const AlertMessage trigger = triggerOf(WatchEvent::Effect::AlarmOnly);
    Delivery down;
    ASSERT_TRUE(endsWithin(std::chrono::seconds(15), [&] { down = sender.send(trigger); }));
    EXPECT_EQ(down.outcome, Outcome::TryAgain);
    EXPECT_FALSE(down.reason.empty());

    ASSERT_TRUE(broker.start());
    MqttSubscriber subscriber(broker.port(), MosquittoBroker::kUser, MosquittoBroker::kPassword);
    const Delivery up = settle(sender, trigger);
    EXPECT_EQ(up.outcome, Outcome::Delivered) << up.reason;
    EXPECT_TRUE(subscriber.waitFor(kPrefix + "/picture", kPicture));
}

TEST(MqttSender, TriesAgainWhenTheBrokerDoesNotAcknowledge) {
    MosquittoBroker broker;
    ASSERT_TRUE(broker.start());
    MqttSubscriber subscriber(broker.port(), MosquittoBroker::kUser, MosquittoBroker::kPassword);
    MqttSender sender(settingsFor(broker));
    ASSERT_TRUE(subscriber.waitFor(kPrefix + "/status", "online"));
    ASSERT_EQ(settle(sender, messageOf(WatchEvent::Kind::CameraBack)).outcome, Outcome::Delivered);

    broker.freeze();
    Delivery unanswered;
    const bool ended = endsWithin(MqttSender::kAcknowledgementWait + std::chrono::seconds(10), [&] {
        unanswered = sender.send(messageOf(WatchEvent::Kind::CameraLost));
    });
    broker.thaw();
    ASSERT_TRUE(ended);
    EXPECT_EQ(unanswered.outcome, Outcome::TryAgain);
    EXPECT_NE(unanswered.reason.find("bestätigt"), std::string::npos) << unanswered.reason;
}

TEST(MqttSender, WrongPasswordIsRefused) {
    MosquittoBroker broker;
    ASSERT_TRUE(broker.start());
    MqttSettings settings = settingsFor(broker);
    settings.password = "falsch-und-geheim";
    MqttSender sender(settings);
    const Delivery delivery = settle(sender, triggerOf(WatchEvent::Effect::AlarmOnly));
    EXPECT_EQ(delivery.outcome, Outcome::Refused) << delivery.reason;
    EXPECT_NE(delivery.reason.find("Anmeldung"), std::string::npos) << delivery.reason;
    EXPECT_EQ(delivery.reason.find(settings.password), std::string::npos);
}

MqttSettings tlsSettingsFor(const MosquittoBroker& broker) {
    MqttSettings settings = settingsFor(broker);
    settings.port = broker.tlsPort();
    settings.tls = true;
    return settings;
}

// The system's authorities, as OpenSSL finds them, are the broker's certificate alone while it
// lives.
class SystemAuthority {
public:
    explicit SystemAuthority(const std::string& file) {
        ::setenv("SSL_CERT_FILE", file.c_str(), 1);
    }
    ~SystemAuthority() { ::unsetenv("SSL_CERT_FILE"); }
    SystemAuthority(const SystemAuthority&) = delete;
    SystemAuthority& operator=(const SystemAuthority&) = delete;
};

TEST(MqttSender, TlsWithThePinnedCertificateDelivers) {
    MosquittoBroker broker;
    ASSERT_TRUE(broker.start());
    MqttSubscriber subscriber(broker.port(), MosquittoBroker::kUser, MosquittoBroker::kPassword);
    MqttSettings settings = tlsSettingsFor(broker);
    settings.pinnedCertificate = opensslFingerprint(broker.certificateFile());
    MqttSender sender(settings);
    const Delivery delivery = settle(sender, triggerOf(WatchEvent::Effect::AlarmOnly));
    EXPECT_EQ(delivery.outcome, Outcome::Delivered) << delivery.reason;
    EXPECT_TRUE(subscriber.waitFor(kPrefix + "/picture", kPicture));
}

// Named, so that the user can be asked whether to trust it.
TEST(MqttSender, TlsToACertificateNoAuthorityVouchesForIsRefusedWithItsFingerprint) {
    MosquittoBroker broker;
    ASSERT_TRUE(broker.start());
    MqttSender sender(tlsSettingsFor(broker));
    const Delivery delivery = settle(sender, triggerOf(WatchEvent::Effect::AlarmOnly));
    EXPECT_EQ(delivery.outcome, Outcome::Refused) << delivery.reason;
    EXPECT_TRUE(delivery.reason.starts_with("Zertifikat des Servers unbekannt")) << delivery.reason;
    EXPECT_EQ(delivery.unknownCertificate, opensslFingerprint(broker.certificateFile()));
}

TEST(MqttSender, TlsToACertificateThatIsNotThePinnedIsRefusedAsChanged) {
    MosquittoBroker broker;
    ASSERT_TRUE(broker.start());
    const MosquittoBroker other;
    MqttSettings settings = tlsSettingsFor(broker);
    settings.pinnedCertificate = opensslFingerprint(other.certificateFile());
    ASSERT_NE(settings.pinnedCertificate, opensslFingerprint(broker.certificateFile()));
    MqttSender sender(settings);
    const Delivery delivery = settle(sender, triggerOf(WatchEvent::Effect::AlarmOnly));
    EXPECT_EQ(delivery.outcome, Outcome::Refused) << delivery.reason;
    EXPECT_TRUE(delivery.reason.starts_with("Zertifikat des Servers geändert")) << delivery.reason;
    EXPECT_EQ(delivery.unknownCertificate, opensslFingerprint(broker.certificateFile()));
}

// A home broker's certificate names whatever its maker chose: the fingerprint alone counts.
TEST(MqttSender, ThePinnedCertificateIsTakenThoughItNamesAnotherHost) {
    MosquittoBroker broker("mqtt.example.invalid");
    ASSERT_TRUE(broker.start());
    MqttSettings settings = tlsSettingsFor(broker);
    settings.pinnedCertificate = opensslFingerprint(broker.certificateFile());
    MqttSender sender(settings);
    const Delivery delivery = settle(sender, triggerOf(WatchEvent::Effect::AlarmOnly));
    EXPECT_EQ(delivery.outcome, Outcome::Delivered) << delivery.reason;
}

TEST(MqttSender, TlsToACertificateAnAuthorityVouchesForDeliversWithoutAPin) {
    MosquittoBroker broker;
    ASSERT_TRUE(broker.start());
    const SystemAuthority authority(broker.certificateFile());
    MqttSender sender(tlsSettingsFor(broker));
    const Delivery delivery = settle(sender, triggerOf(WatchEvent::Effect::AlarmOnly));
    EXPECT_EQ(delivery.outcome, Outcome::Delivered) << delivery.reason;
}

// An authority's word holds for the name it vouched for only.
TEST(MqttSender, TlsToACertificateAnAuthorityVouchesForAnotherHostIsRefused) {
    MosquittoBroker broker("mqtt.example.invalid");
    ASSERT_TRUE(broker.start());
    const SystemAuthority authority(broker.certificateFile());
    const MosquittoBroker other;
    MqttSettings settings = tlsSettingsFor(broker);
    for (const std::string& pin : {std::string(), opensslFingerprint(other.certificateFile())}) {
        settings.pinnedCertificate = pin;
        MqttSender sender(settings);
        const Delivery delivery = settle(sender, triggerOf(WatchEvent::Effect::AlarmOnly));
        EXPECT_EQ(delivery.outcome, Outcome::Refused) << delivery.reason;
        EXPECT_EQ(delivery.unknownCertificate, opensslFingerprint(broker.certificateFile()));
    }
}

TEST(MqttSender, TlsToAPlainListenerIsNeverDeliveredInTheClear) {
    MosquittoBroker broker;
    ASSERT_TRUE(broker.start());
    MqttSubscriber subscriber(broker.port(), MosquittoBroker::kUser, MosquittoBroker::kPassword);
    MqttSettings settings = settingsFor(broker);
    settings.tls = true;
    MqttSender sender(settings);
    const Delivery delivery = settle(sender, triggerOf(WatchEvent::Effect::AlarmOnly));
    EXPECT_EQ(delivery.outcome, Outcome::Refused) << delivery.reason;
    EXPECT_TRUE(subscriber.payloads(kPrefix + "/picture").empty());
}
