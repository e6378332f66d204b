// The dialog's test message: timed, said in German words, and sent through the channel the
// options make, here the push channel against a real HTTP server on 127.0.0.1.

#include "outputs/testsend.h"

#include <gtest/gtest.h>

#include <QJsonObject>

#include "../tempfolder.h"
#include "alertmessages.h"
#include "outputs/alertid.h"
#include "outputs/remotealarm.h"
#include "servertest.h"

namespace {

using Outcome = Delivery::Outcome;
using SteadyTime = std::chrono::steady_clock::time_point;

// Answers as it is told and keeps what it was sent.
class AnsweringSender : public AlertSender {
public:
    explicit AnsweringSender(Delivery answer) : m_answer(std::move(answer)) {}
    Delivery send(const AlertMessage& message) override {
        sent.push_back(message);
        return m_answer;
    }
    void abandon() override {}
    std::vector<AlertMessage> sent;

private:
    Delivery m_answer;
};

// A steady clock that moves by `step` each time it is read.
std::function<SteadyTime()> clockMoving(std::chrono::milliseconds step) {
    auto now = std::make_shared<SteadyTime>();
    return [now, step] { return *now += step; };
}

TEST(TestSend, TheMessageIsATestOfItsOwnWithThePictureOfTheMoment) {
    const WatchEvent event{.kind = WatchEvent::Kind::WatchSwitched, .on = true};
    const AlertMessage message =
        makeTestMessage(AlertChannel::Mqtt, event, "jpeg", "Garage", kDecemberMs);
    EXPECT_TRUE(message.test);
    EXPECT_TRUE(isAlertId(message.id)) << message.id;
    EXPECT_NE(message.id, makeTestMessage(AlertChannel::Mqtt, event, "", "", kDecemberMs).id);
    EXPECT_EQ(message.channel, AlertChannel::Mqtt);
    EXPECT_EQ(message.createdMs, kDecemberMs);
    EXPECT_EQ(message.event.kind, WatchEvent::Kind::WatchSwitched);
    EXPECT_EQ(message.picture, "jpeg");
    EXPECT_EQ(message.profile, "Garage");
}

TEST(TestSend, ADeliveryIsTimedInTenthsWithADecimalComma) {
    AnsweringSender sender({Outcome::Delivered, "", ""});
    const AlertMessage message = makeTestMessage(AlertChannel::Push, {}, "", "", kDecemberMs);
    const TestSendResult result =
        sendTestMessage(sender, message, clockMoving(std::chrono::milliseconds(420)));
    ASSERT_EQ(sender.sent.size(), 1u);
    EXPECT_EQ(sender.sent[0].id, message.id);
    EXPECT_EQ(result.delivery.outcome, Outcome::Delivered);
    EXPECT_DOUBLE_EQ(result.seconds, 0.42);
    EXPECT_EQ(testSendText(result), "zugestellt in 0,4 s");
    EXPECT_EQ(testSendText({{Outcome::Delivered, "", ""}, 12.96}), "zugestellt in 13,0 s");
    EXPECT_EQ(testSendText({{Outcome::Delivered, "", ""}, 0.04}), "zugestellt in 0,0 s");
}

TEST(TestSend, WhatWasNotDeliveredSaysWhy) {
    AnsweringSender refused({Outcome::Refused, "Anmeldung abgelehnt (HTTP 401)", ""});
    const TestSendResult result =
        sendTestMessage(refused, makeTestMessage(AlertChannel::Mail, {}, "", "", kDecemberMs));
    EXPECT_EQ(testSendText(result), "nicht zugestellt: Anmeldung abgelehnt (HTTP 401)");
    EXPECT_EQ(testSendText({{Outcome::TryAgain, "", ""}, 1.0}),
              "nicht zugestellt: ohne Angabe eines Grundes");
}

// Through the sender the options make, whether the channel is switched on or not.
TEST(TestSend, ThePushChannelOfTheOptionsDeliversTheTest) {
    TempFolder folder;
    ScriptServer server("httpserver.py", {QString::fromStdString(folder.path().string()), "200"});
    ASSERT_NE(server.port(), 0) << server.errors();
    RemoteAlarmOptions options;
    options.pushUrl = "http://127.0.0.1:" + std::to_string(server.port()) + "/test";
    const std::unique_ptr<AlertSender> sender =
        makeAlertSender(AlertChannel::Push, options, "Garage", SenderUse::Test);
    const AlertMessage message =
        makeTestMessage(AlertChannel::Push, {}, pictureBytes(), "Garage", kDecemberMs);
    const TestSendResult result = sendTestMessage(*sender, message);
    EXPECT_EQ(testSendText(result).substr(0, 14), "zugestellt in ");
    const QJsonObject request = summaryAt(folder / "request-1.json");
    EXPECT_EQ(request["headers"].toObject()["Title"].toString(), "Sentello: Testnachricht");
    EXPECT_EQ(request["headers"].toObject()["X-Sentello-Id"].toString().toStdString(), message.id);
    EXPECT_EQ(fileBytes(folder / "request-1.body"), pictureBytes());
}

}  // namespace
