// Pushes to a real HTTP(S) server on 127.0.0.1 (tests/support/httpserver.py, run with Debian's
// own Python) that answers as it is told: ntfy's form, the JSON form read back with Python's
// json module, the answers that mean "again", "refused" and "taken".

#include "outputs/pushsender.h"

#include <gtest/gtest.h>

#include <QJsonArray>

#include <stdlib.h>
#include <time.h>

#include <filesystem>
#include <future>
#include <thread>

#include "../silentserver.h"
#include "../tempfolder.h"
#include "alertmessages.h"
#include "servertest.h"

namespace {

namespace fs = std::filesystem;
using Outcome = Delivery::Outcome;

class PushServer : public ::testing::Test {
protected:
    void start(const QString& statuses, bool tls = false) {
        QStringList arguments{QString::fromStdString(folder.path().string()), statuses};
        if (tls) {
            ASSERT_TRUE(makeCertificate(folder.path(), certificateName));
            fingerprint = opensslFingerprint(folder / "cert.pem");
            ASSERT_FALSE(fingerprint.empty());
            arguments << QString::fromStdString((folder / "cert.pem").string())
                      << QString::fromStdString((folder / "key.pem").string());
        }
        server = std::make_unique<ScriptServer>("httpserver.py", arguments);
        ASSERT_NE(server->port(), 0) << server->errors();
        settings.url = std::string(tls ? "https" : "http") +
                       "://127.0.0.1:" + std::to_string(server->port()) + "/sentello";
    }

    Delivery send(const AlertMessage& message) {
        return PushSender(settings, std::chrono::seconds(3)).send(message);
    }

    QJsonObject request(int number) {
        return summaryAt(folder / ("request-" + std::to_string(number) + ".json"));
    }

    TempFolder folder;
    // What the certificate of an HTTPS server is made out to, and its fingerprint as openssl
    // prints it.
    std::string certificateName = "127.0.0.1";
    std::string fingerprint;
    std::unique_ptr<ScriptServer> server;
    PushSettings settings{"", "", 0, ""};
};

TEST_F(PushServer, ServerErrorsAreTriedAgainUntilTheServerTakesIt) {
    start("500,500,200");
    const AlertMessage message = triggerMessage(pictureBytes());
    EXPECT_EQ(send(message).outcome, Outcome::TryAgain);
    EXPECT_EQ(send(message).outcome, Outcome::TryAgain);
    EXPECT_EQ(send(message).outcome, Outcome::Delivered);
    for (int number = 1; number <= 3; ++number)
        EXPECT_EQ(request(number)["headers"].toObject()["X-Sentello-Id"].toString().toStdString(),
                  message.id)
            << number;
}

TEST_F(PushServer, WhatEachAnswerMeans) {
    start("401,403,429,408,503,404,204");
    const AlertMessage message = triggerMessage("");
    const Delivery unauthorised = send(message);
    EXPECT_EQ(unauthorised.outcome, Outcome::Refused);
    EXPECT_EQ(unauthorised.reason, "Anmeldung abgelehnt (HTTP 401)");
    EXPECT_EQ(send(message).outcome, Outcome::Refused);
    EXPECT_EQ(send(message).outcome, Outcome::TryAgain);
    EXPECT_EQ(send(message).outcome, Outcome::TryAgain);
    const Delivery unavailable = send(message);
    EXPECT_EQ(unavailable.outcome, Outcome::TryAgain);
    EXPECT_EQ(unavailable.reason, "Server zurzeit gestört (HTTP 503)");
    EXPECT_EQ(send(message).outcome, Outcome::Refused);
    EXPECT_EQ(send(message).outcome, Outcome::Delivered);
}

TEST_F(PushServer, NtfyGetsThePictureAsBodyAndTheWordsInHeaders) {
    start("200");
    settings.token = "tk_geheim";
    ASSERT_EQ(send(triggerMessage(pictureBytes())).outcome, Outcome::Delivered);
    EXPECT_EQ(fileBytes(folder / "request-1.body"), pictureBytes());
    const QJsonObject headers = request(1)["headers"].toObject();
    const QJsonObject decoded = request(1)["decoded"].toObject();
    EXPECT_EQ(headers["Title"].toString(), "Sentello: Bewegung erkannt");
    EXPECT_EQ(decoded["Message"].toString().toStdString(),
              "Zeit: 10.12.2026 05:55:13\nProfil: Garage Süd\nVeränderter Bildanteil: 37 %\n"
              "Ereignis: Auslösung, 37 %, Video video-20261210-055513.avi\n"
              "und 4 weitere Auslösungen");
    EXPECT_EQ(headers["Tags"].toString(), "rotating_light");
    EXPECT_EQ(headers["Priority"].toString(), "high");
    EXPECT_EQ(headers["Filename"].toString(), "sentello.jpg");
    EXPECT_EQ(headers["Authorization"].toString(), "Bearer tk_geheim");
    EXPECT_EQ(request(1)["path"].toString(), "/sentello");
}

TEST_F(PushServer, NtfyWithoutAPictureGetsTheTextAsBody) {
    start("200");
    AlertMessage message = triggerMessage("");
    message.event.kind = WatchEvent::Kind::CameraLost;
    message.furtherTriggers = 0;
    ASSERT_EQ(send(message).outcome, Outcome::Delivered);
    EXPECT_EQ(fileBytes(folder / "request-1.body"),
              "Zeit: 10.12.2026 05:55:13\nProfil: Garage Süd\nEreignis: Kamera verloren");
    const QJsonObject headers = request(1)["headers"].toObject();
    EXPECT_EQ(headers["Title"].toString(), "Sentello: Kamera verloren");
    EXPECT_EQ(headers["Priority"].toString(), "default");
    EXPECT_FALSE(headers.contains("Filename"));
    EXPECT_FALSE(headers.contains("Message"));
    EXPECT_FALSE(headers.contains("Authorization"));
}

TEST_F(PushServer, JsonCarriesTheEventAndThePicture) {
    ::setenv("TZ", "Europe/Berlin", 1);
    ::tzset();
    start("200");
    settings.format = 1;
    ASSERT_EQ(send(triggerMessage(pictureBytes())).outcome, Outcome::Delivered);
    ::unsetenv("TZ");
    ::tzset();
    const QJsonObject json = request(1)["json"].toObject();
    ASSERT_FALSE(json.isEmpty()) << request(1)["json_error"].toString().toStdString();
    EXPECT_EQ(request(1)["headers"].toObject()["Content-Type"].toString(), "application/json");
    EXPECT_EQ(json["id"].toString(), "4f9c2e1a-77b0-4d2e-9a51-0c3e5d6f7a8b");
    EXPECT_EQ(json["event"].toString(), "motion");
    EXPECT_EQ(json["time"].toString(), "2026-12-10T05:55:13+01:00");
    EXPECT_NEAR(json["share"].toDouble(), 37.4, 0.05);
    EXPECT_EQ(json["camera"].toString().toStdString(), "Garage Süd");
    EXPECT_EQ(json["files"].toArray(), QJsonArray{"video-20261210-055513.avi"});
    EXPECT_TRUE(json["count"].isNull());
    EXPECT_EQ(json["further_triggers"].toInt(), 4);
    EXPECT_EQ(fileBytes(folder / "request-1.picture"), pictureBytes());
}

TEST_F(PushServer, JsonOfACountWithoutPicture) {
    start("200");
    settings.format = 1;
    AlertMessage message = triggerMessage("");
    message.event.effect = WatchEvent::Effect::Counted;
    message.event.count = 12;
    message.profile.clear();
    message.id = "quote\"and\\back\nslash";
    ASSERT_EQ(send(message).outcome, Outcome::Delivered);
    const QJsonObject json = request(1)["json"].toObject();
    ASSERT_FALSE(json.isEmpty()) << request(1)["json_error"].toString().toStdString();
    EXPECT_EQ(json["id"].toString(), "quote\"and\\back\nslash");
    EXPECT_EQ(json["count"].toInt(), 12);
    EXPECT_TRUE(json["files"].toArray().isEmpty());
    EXPECT_TRUE(json["camera"].isNull());
    EXPECT_TRUE(json["picture"].isNull());
}

// The fingerprint as openssl prints it, or in small letters without colons.
TEST_F(PushServer, HttpsWithThePinnedCertificateDelivers) {
    start("200,200", true);
    settings.pinnedCertificate = fingerprint;
    EXPECT_EQ(send(triggerMessage(pictureBytes())).outcome, Outcome::Delivered);
    settings.pinnedCertificate =
        QString::fromStdString(fingerprint).remove(':').toLower().toStdString();
    EXPECT_EQ(send(triggerMessage(pictureBytes())).outcome, Outcome::Delivered);
    EXPECT_TRUE(fs::exists(folder / "request-2.json"));
}

// Named, so that the user can be asked whether to trust it.
TEST_F(PushServer, ACertificateNoAuthorityVouchesForIsRefusedWithItsFingerprint) {
    start("200", true);
    const Delivery unknown = send(triggerMessage(pictureBytes()));
    EXPECT_EQ(unknown.outcome, Outcome::Refused);
    EXPECT_EQ(unknown.reason,
              "Zertifikat des Servers unbekannt: weder von einer Zertifizierungsstelle bestätigt "
              "noch als vertrauenswürdig gespeichert");
    EXPECT_EQ(unknown.unknownCertificate, fingerprint);
    EXPECT_FALSE(fs::exists(folder / "request-1.json"));
}

TEST_F(PushServer, ACertificateThatIsNotThePinnedIsRefusedAsChanged) {
    start("200", true);
    const TempFolder other;
    ASSERT_TRUE(makeCertificate(other.path()));
    settings.pinnedCertificate = opensslFingerprint(other / "cert.pem");
    ASSERT_NE(settings.pinnedCertificate, fingerprint);
    const Delivery changed = send(triggerMessage(pictureBytes()));
    EXPECT_EQ(changed.outcome, Outcome::Refused);
    EXPECT_EQ(changed.reason,
              "Zertifikat des Servers geändert: nicht mehr das als vertrauenswürdig gespeicherte");
    EXPECT_EQ(changed.unknownCertificate, fingerprint);
    EXPECT_FALSE(fs::exists(folder / "request-1.json"));
}

// A home server's certificate names whatever its maker chose: the fingerprint alone counts.
TEST_F(PushServer, ThePinnedCertificateIsTakenThoughItNamesAnotherHost) {
    certificateName = "push.example.invalid";
    start("200", true);
    settings.pinnedCertificate = fingerprint;
    const Delivery delivery = send(triggerMessage(pictureBytes()));
    EXPECT_EQ(delivery.outcome, Outcome::Delivered) << delivery.reason;
    EXPECT_TRUE(fs::exists(folder / "request-1.json"));
}

TEST(PushSender, AnUnreachableOrSilentServerIsTriedAgain) {
    std::string closed;
    {
        const SilentServer taken;
        closed = taken.server;
    }
    EXPECT_EQ(PushSender({"http://" + closed + "/", "", 0, ""}).send(triggerMessage("")).outcome,
              Outcome::TryAgain);
    const SilentServer silent;
    const Delivery delivery =
        PushSender({"http://" + silent.server + "/", "", 1, ""}, std::chrono::seconds(2))
            .send(triggerMessage(""));
    EXPECT_EQ(delivery.outcome, Outcome::TryAgain);
    EXPECT_EQ(delivery.reason, "keine Antwort vom Server");
}

// The outbox's end gives up a send to a server that keeps silent, long before its limit.
TEST(PushSender, AnAbandonedSendEndsAtOnceAndSoDoesEveryLaterOne) {
    const SilentServer silent;
    PushSender sender({"http://" + silent.server + "/", "", 1, ""}, std::chrono::hours(1));
    std::promise<Delivery> answered;
    std::thread sending([&] { answered.set_value(sender.send(triggerMessage(""))); });
    std::future<Delivery> delivery = answered.get_future();
    sender.abandon();
    const bool ended = delivery.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    if (!ended)
        sending.detach();  // the silent server holds it; the test fails below
    else
        sending.join();
    ASSERT_TRUE(ended) << "the send waited for the silent server";
    EXPECT_EQ(delivery.get().outcome, Outcome::TryAgain);
    EXPECT_EQ(sender.send(triggerMessage("")).outcome, Outcome::TryAgain);
}

TEST(PushSender, AnAddressOtherThanHttpIsRefused) {
    EXPECT_EQ(PushSender({"file:///etc/passwd", "", 0, ""}).send(triggerMessage("")).outcome,
              Outcome::Refused);
}

}  // namespace
