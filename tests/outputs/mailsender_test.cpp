// Mails to a real SMTP server on 127.0.0.1 (aiosmtpd, tests/support/smtpserver.py, run with
// Debian's own Python) with STARTTLS and a login, over SMTPS and plain; read back with Python's
// email module. A refused login, an unknown certificate and one that is not the pinned, a server
// without STARTTLS and one that stalls in the middle of the mail.

#include "outputs/mailsender.h"

#include <gtest/gtest.h>

#include <QJsonArray>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "../boundedcall.h"
#include "../silentserver.h"
#include "../tempfolder.h"
#include "alertmessages.h"
#include "servertest.h"

namespace {

namespace fs = std::filesystem;
using Outcome = Delivery::Outcome;

class MailServer : public ::testing::Test {
protected:
    // A server of the mode with a certificate of its own for `certificateName`, and settings
    // that reach it with the right login and trust its certificate.
    void start(const QString& mode, int security) {
        ASSERT_TRUE(makeCertificate(folder.path(), certificateName));
        fingerprint = opensslFingerprint(folder / "cert.pem");
        ASSERT_FALSE(fingerprint.empty());
        server = std::make_unique<ScriptServer>(
            "smtpserver.py", QStringList{QString::fromStdString(folder.path().string()), mode,
                                         QString::fromStdString((folder / "cert.pem").string()),
                                         QString::fromStdString((folder / "key.pem").string())});
        ASSERT_NE(server->port(), 0)
            << "no SMTP server (python3-aiosmtpd missing?) " << server->errors();
        settings = {"127.0.0.1",
                    server->port(),
                    security,
                    "wächter",
                    "geheim 1",
                    "kamera@example.org",
                    "wache@example.org, nachbar@example.org",
                    1,
                    fingerprint};
    }

    // The server is a Python script that answers a STARTTLS in seconds on a loaded machine (the
    // sanitizer build beside the end-to-end tests): the bound on a stall must not take it for
    // one.
    Delivery send(const AlertMessage& message) {
        return MailSender(settings, kStallLimit).send(message);
    }
    static constexpr std::chrono::seconds kStallLimit{10};

    TempFolder folder;
    std::string certificateName = "127.0.0.1";
    std::unique_ptr<ScriptServer> server;
    MailSettings settings;
    // Of the server's certificate, as openssl prints it.
    std::string fingerprint;
};

TEST_F(MailServer, StartTlsAndLoginDeliverTheMailWithItsPicture) {
    start("starttls", 1);
    const Delivery delivery = send(triggerMessage(pictureBytes()));
    ASSERT_EQ(delivery.outcome, Outcome::Delivered) << delivery.reason;
    const QJsonObject mail = summaryAt(folder / "mail-1.json");
    ASSERT_FALSE(mail.isEmpty());
    EXPECT_EQ(mail["subject"].toString().toStdString(),
              "Sentello: Bewegung erkannt – 10.12.2026 05:55:13 – Garage Süd");
    EXPECT_EQ(mail["message_id"].toString().toStdString(),
              "<4f9c2e1a-77b0-4d2e-9a51-0c3e5d6f7a8b@sentello>");
    EXPECT_EQ(mail["mail_from"].toString(), "kamera@example.org");
    EXPECT_EQ(mail["rcpt_tos"].toArray().size(), 2);
    EXPECT_TRUE(mail["defects"].toArray().isEmpty()) << fileBytes(folder / "mail-1.eml");
    const std::string text = mail["text"].toString().toStdString();
    EXPECT_NE(text.find("Veränderter Bildanteil: 37 %"), std::string::npos) << text;
    EXPECT_NE(text.find("und 4 weitere Auslösungen"), std::string::npos) << text;
    const QJsonArray attachments = mail["attachments"].toArray();
    ASSERT_EQ(attachments.size(), 1);
    EXPECT_EQ(attachments[0]["filename"].toString(), "sentello.jpg");
    EXPECT_EQ(attachments[0]["content_type"].toString(), "image/jpeg");
    EXPECT_EQ(fileBytes(attachments[0]["file"].toString().toStdString()), pictureBytes());
}

TEST_F(MailServer, TheFinishedClipFollowsInAMailOfItsOwn) {
    start("starttls", 1);
    const std::string clip = pictureBytes() + "RIFF";
    std::ofstream(folder / "video.avi", std::ios::binary) << clip;
    ASSERT_EQ(send(clipMessage((folder / "video.avi").string())).outcome, Outcome::Delivered);
    const QJsonArray attachments = summaryAt(folder / "mail-1.json")["attachments"].toArray();
    ASSERT_EQ(attachments.size(), 1);
    EXPECT_EQ(attachments[0]["filename"].toString(), "video.avi");
    EXPECT_EQ(fileBytes(attachments[0]["file"].toString().toStdString()), clip);
}

TEST_F(MailServer, ARefusedLoginIsRefused) {
    start("starttls", 1);
    settings.password = "falsch";
    const Delivery delivery = send(triggerMessage(pictureBytes()));
    EXPECT_EQ(delivery.outcome, Outcome::Refused);
    EXPECT_TRUE(delivery.reason.starts_with("Anmeldung abgelehnt (535")) << delivery.reason;
    EXPECT_EQ(delivery.reason.find("falsch"), std::string::npos) << "never the password";
    EXPECT_FALSE(fs::exists(folder / "mail-1.json"));
}

// A server's refusal of a recipient may pass (a full mailbox): tried again, in its words.
TEST_F(MailServer, ARefusedRecipientIsTriedAgainInTheServersWords) {
    start("starttls", 1);
    settings.recipients = "wache@example.org, niemand@example.org";
    const Delivery delivery = send(triggerMessage(pictureBytes()));
    EXPECT_EQ(delivery.outcome, Outcome::TryAgain);
    EXPECT_EQ(delivery.reason, "Server lehnt ab (550 5.1.1 kein Postfach)");
    EXPECT_FALSE(fs::exists(folder / "mail-1.json"));
}

// Named, so that the user can be asked whether to trust it.
TEST_F(MailServer, ACertificateNoAuthorityVouchesForIsRefusedWithItsFingerprint) {
    start("starttls", 1);
    settings.pinnedCertificate.clear();
    const Delivery delivery = send(triggerMessage(pictureBytes()));
    EXPECT_EQ(delivery.outcome, Outcome::Refused);
    EXPECT_EQ(delivery.reason,
              "Zertifikat des Servers unbekannt: weder von einer Zertifizierungsstelle bestätigt "
              "noch als vertrauenswürdig gespeichert");
    EXPECT_EQ(delivery.unknownCertificate, fingerprint);
    EXPECT_FALSE(fs::exists(folder / "mail-1.json"));
}

TEST_F(MailServer, ACertificateThatIsNotThePinnedIsRefusedAsChanged) {
    start("starttls", 1);
    const TempFolder other;
    ASSERT_TRUE(makeCertificate(other.path()));
    settings.pinnedCertificate = opensslFingerprint(other / "cert.pem");
    ASSERT_NE(settings.pinnedCertificate, fingerprint);
    const Delivery delivery = send(triggerMessage(pictureBytes()));
    EXPECT_EQ(delivery.outcome, Outcome::Refused);
    EXPECT_EQ(delivery.reason,
              "Zertifikat des Servers geändert: nicht mehr das als vertrauenswürdig gespeicherte");
    EXPECT_EQ(delivery.unknownCertificate, fingerprint);
    EXPECT_FALSE(fs::exists(folder / "mail-1.json"));
}

// A home server's certificate names whatever its maker chose: the fingerprint alone counts.
TEST_F(MailServer, ThePinnedCertificateIsTakenThoughItNamesAnotherHost) {
    certificateName = "mail.example.invalid";
    start("smtps", 2);
    const Delivery delivery = send(triggerMessage(pictureBytes()));
    ASSERT_EQ(delivery.outcome, Outcome::Delivered) << delivery.reason;
    EXPECT_TRUE(delivery.unknownCertificate.empty());
    EXPECT_TRUE(fs::exists(folder / "mail-1.json"));
}

TEST_F(MailServer, SmtpsDelivers) {
    start("smtps", 2);
    const Delivery delivery = send(triggerMessage(pictureBytes()));
    ASSERT_EQ(delivery.outcome, Outcome::Delivered) << delivery.reason;
    EXPECT_EQ(summaryAt(folder / "mail-1.json")["message_id"].toString().toStdString(),
              "<4f9c2e1a-77b0-4d2e-9a51-0c3e5d6f7a8b@sentello>");
}

TEST_F(MailServer, PlainSmtpDeliversWithoutLogin) {
    start("plain", 0);
    settings.user.clear();
    AlertMessage message = triggerMessage("");
    message.event.kind = WatchEvent::Kind::CameraLost;
    ASSERT_EQ(send(message).outcome, Outcome::Delivered);
    const QJsonObject mail = summaryAt(folder / "mail-1.json");
    EXPECT_EQ(mail["subject"].toString().toStdString(),
              "Sentello: Kamera verloren – 10.12.2026 05:55:13 – Garage Süd");
    EXPECT_TRUE(mail["attachments"].toArray().isEmpty());
}

TEST_F(MailServer, AServerWithoutStartTlsIsRefusedWhenItIsRequired) {
    start("plain", 1);
    settings.user.clear();
    const Delivery delivery = send(triggerMessage(pictureBytes()));
    EXPECT_EQ(delivery.outcome, Outcome::Refused);
    EXPECT_FALSE(fs::exists(folder / "mail-1.json")) << "nothing in the clear";
}

// The mail went out whole, but no answer came: it must be sent again.
TEST_F(MailServer, AServerThatStallsInTheMailIsTriedAgainWithinTheBound) {
    start("stall", 0);
    settings.user.clear();
    Delivery delivery;
    EXPECT_TRUE(endsWithin(std::chrono::seconds(30),
                           [&] { delivery = send(triggerMessage(pictureBytes())); }));
    EXPECT_EQ(delivery.outcome, Outcome::TryAgain);
    EXPECT_EQ(delivery.reason, "keine Antwort vom Server");
}

TEST(MailSender, AnUnreachableServerIsTriedAgain) {
    std::string closed;
    {
        const SilentServer taken;
        closed = taken.server;
    }
    const int port = std::stoi(closed.substr(closed.rfind(':') + 1));
    const Delivery delivery =
        MailSender({"127.0.0.1", port, 0, "", "", "a@example.org", "b@example.org", 0, ""})
            .send(triggerMessage(""));
    EXPECT_EQ(delivery.outcome, Outcome::TryAgain);
    EXPECT_EQ(delivery.reason, "Server nicht erreicht");
}

TEST(MailSender, MissingAddressesAreRefusedWithoutAConnection) {
    const SilentServer silent;
    const int port = std::stoi(silent.server.substr(silent.server.rfind(':') + 1));
    EXPECT_EQ(MailSender({"127.0.0.1", port, 0, "", "", "", "b@example.org", 0, ""})
                  .send(triggerMessage(""))
                  .reason,
              "kein Absender angegeben");
    const Delivery none = MailSender({"127.0.0.1", port, 0, "", "", "a@example.org", " , ", 0, ""})
                              .send(triggerMessage(""));
    EXPECT_EQ(none.outcome, Outcome::Refused);
    EXPECT_EQ(none.reason, "kein Empfänger angegeben");
    EXPECT_FALSE(silent.called());
}

}  // namespace
