// The dialog "Fernalarm" opened from the live picture's menu: its fields and the keys they
// stand for, a file that stays as it was when nothing was chosen, and the test message of a
// channel against a real HTTP server on 127.0.0.1 (tests/support/httpserver.py).

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>

#include <gtest/gtest.h>
#include <QTest>

#include <filesystem>
#include <memory>

#include "../outputs/servertest.h"
#include "../silentserver.h"
#include "liveviewmenu.h"
#include "settings/remotealarmevents.h"
#include "settings/remotealarmoptions.h"
#include "testwindow.h"

namespace {

void editRemoteAlarm(Window& w, std::function<void(QWidget*)> answer) {
    answerMenuDialog(w, "Fernalarm…", "Fernalarm", std::move(answer));
}

void press(QWidget* dialog, QDialogButtonBox::StandardButton which) {
    dialog->findChild<QDialogButtonBox*>()->button(which)->click();
}

template <typename Field>
Field* field(QWidget* dialog, const char* key) {
    auto* found = dialog->findChild<Field*>(QLatin1String(key));
    EXPECT_NE(found, nullptr) << key;
    return found;
}

QString text(QWidget* dialog, const char* key) {
    return field<QLineEdit>(dialog, key)->text();
}

// Every option away from its default, and the other way round.
RemoteAlarmOptions chosenOptions() {
    RemoteAlarmOptions o;
    o.mqtt = true;
    o.mqttServer = "broker.local";
    o.mqttPort = 8883;
    o.mqttTls = true;
    o.mqttUser = "ha";
    o.mqttPassword = "mqtt-geheim";
    o.mqttTopic = "haus/garage";
    o.mail = true;
    o.mailServer = "smtp.example.org";
    o.mailPort = 465;
    o.mailSecurity = static_cast<int>(MailSecurity::Smtps);
    o.mailUser = "wache@example.org";
    o.mailPassword = "mail-geheim";
    o.mailSender = "sentello@example.org";
    o.mailRecipients = "a@example.org,b@example.org";
    o.mailVideoMb = 0;
    o.push = true;
    o.pushUrl = "https://ntfy.example.org/garage";
    o.pushToken = "tk_geheim";
    o.pushFormat = static_cast<int>(PushFormat::Json);
    o.intervalSeconds = 0;
    o.outboxMb = 250;
    o.mqttCertificate = "AA:BB";
    o.mailCertificate = "CC:DD";
    o.pushCertificate = "EE:FF";
    return o;
}

// The dialog shows `o`: each field as its key.
void expectShown(QWidget* dialog, const RemoteAlarmOptions& o) {
    const auto q = [](const std::string& bytes) { return QString::fromStdString(bytes); };
    EXPECT_EQ(field<QCheckBox>(dialog, "mqtt")->isChecked(), o.mqtt);
    EXPECT_EQ(text(dialog, "mqttserver"), q(o.mqttServer));
    EXPECT_EQ(field<QSpinBox>(dialog, "mqttport")->value(), o.mqttPort);
    EXPECT_EQ(field<QCheckBox>(dialog, "mqtttls")->isChecked(), o.mqttTls);
    EXPECT_EQ(text(dialog, "mqttuser"), q(o.mqttUser));
    EXPECT_EQ(text(dialog, "mqttpass"), q(o.mqttPassword));
    EXPECT_EQ(text(dialog, "mqttthema"), q(o.mqttTopic));
    EXPECT_EQ(field<QCheckBox>(dialog, "mail")->isChecked(), o.mail);
    EXPECT_EQ(text(dialog, "mailserver"), q(o.mailServer));
    EXPECT_EQ(field<QSpinBox>(dialog, "mailport")->value(), o.mailPort);
    EXPECT_EQ(field<QComboBox>(dialog, "mailsicherheit")->currentIndex(), o.mailSecurity);
    EXPECT_EQ(text(dialog, "mailuser"), q(o.mailUser));
    EXPECT_EQ(text(dialog, "mailpass"), q(o.mailPassword));
    EXPECT_EQ(text(dialog, "mailabsender"), q(o.mailSender));
    EXPECT_EQ(text(dialog, "mailempfaenger"), q(o.mailRecipients));
    EXPECT_EQ(field<QSpinBox>(dialog, "mailvideo")->value(), o.mailVideoMb);
    EXPECT_EQ(field<QCheckBox>(dialog, "push")->isChecked(), o.push);
    EXPECT_EQ(text(dialog, "pushurl"), q(o.pushUrl));
    EXPECT_EQ(text(dialog, "pushtoken"), q(o.pushToken));
    EXPECT_EQ(field<QComboBox>(dialog, "pushformat")->currentIndex(), o.pushFormat);
    EXPECT_EQ(field<QSpinBox>(dialog, "abstand")->value(), o.intervalSeconds);
    EXPECT_EQ(field<QSpinBox>(dialog, "ausgang")->value(), o.outboxMb);
    EXPECT_EQ(text(dialog, "mqttzertifikat"), q(o.mqttCertificate));
    EXPECT_EQ(text(dialog, "mailzertifikat"), q(o.mailCertificate));
    EXPECT_EQ(text(dialog, "pushzertifikat"), q(o.pushCertificate));
}

// The fields set to `o`, as a user types; the pinned certificates are only forgotten.
void enter(QWidget* dialog, const RemoteAlarmOptions& o) {
    const auto set = [dialog](const char* key, const std::string& bytes) {
        field<QLineEdit>(dialog, key)->setText(QString::fromStdString(bytes));
    };
    field<QCheckBox>(dialog, "mqtt")->setChecked(o.mqtt);
    set("mqttserver", o.mqttServer);
    field<QSpinBox>(dialog, "mqttport")->setValue(o.mqttPort);
    field<QCheckBox>(dialog, "mqtttls")->setChecked(o.mqttTls);
    set("mqttuser", o.mqttUser);
    set("mqttpass", o.mqttPassword);
    set("mqttthema", o.mqttTopic);
    field<QCheckBox>(dialog, "mail")->setChecked(o.mail);
    set("mailserver", o.mailServer);
    field<QSpinBox>(dialog, "mailport")->setValue(o.mailPort);
    field<QComboBox>(dialog, "mailsicherheit")->setCurrentIndex(o.mailSecurity);
    set("mailuser", o.mailUser);
    set("mailpass", o.mailPassword);
    set("mailabsender", o.mailSender);
    set("mailempfaenger", o.mailRecipients);
    field<QSpinBox>(dialog, "mailvideo")->setValue(o.mailVideoMb);
    field<QCheckBox>(dialog, "push")->setChecked(o.push);
    set("pushurl", o.pushUrl);
    set("pushtoken", o.pushToken);
    field<QComboBox>(dialog, "pushformat")->setCurrentIndex(o.pushFormat);
    field<QSpinBox>(dialog, "abstand")->setValue(o.intervalSeconds);
    field<QSpinBox>(dialog, "ausgang")->setValue(o.outboxMb);
    for (const char* forget :
         {"mqttzertifikatvergessen", "mailzertifikatvergessen", "pushzertifikatvergessen"})
        field<QPushButton>(dialog, forget)->click();
}

TEST(RemoteAlarmDialog, TheFieldsShowAndKeepEachKeyWithThePasswordsHidden) {
    Window w;
    const RemoteAlarmOptions stored = chosenOptions();
    saveRemoteAlarmOptions(stored, w.settingsFile);
    RemoteAlarmOptions typed;
    typed.mqttServer = "127.0.0.1";
    typed.mqttPort = 1;
    typed.mqttTopic = "sentello2";
    typed.mailServer = "127.0.0.1";
    typed.mailPort = 2;
    typed.mailUser = "Jürgen";
    typed.mailPassword = "neu";
    typed.pushUrl = "http://127.0.0.1:3/hook";
    typed.outboxMb = 1;
    editRemoteAlarm(w, [&](QWidget* dialog) {
        expectShown(dialog, stored);
        for (const char* secret : {"mqttpass", "mailpass", "pushtoken"})
            EXPECT_EQ(field<QLineEdit>(dialog, secret)->echoMode(), QLineEdit::Password) << secret;
        EXPECT_TRUE(field<QLineEdit>(dialog, "pushzertifikat")->isReadOnly());
        enter(dialog, typed);
        press(dialog, QDialogButtonBox::Ok);
    });
    EXPECT_EQ(loadRemoteAlarmOptions(w.settingsFile), typed);
    EXPECT_EQ(w.settings().find("neu"), std::string::npos) << "passwords are stored scrambled";
    editRemoteAlarm(w, [&](QWidget* dialog) {
        expectShown(dialog, typed);
        press(dialog, QDialogButtonBox::Cancel);
    });
}

TEST(RemoteAlarmDialog, TheEventsOfEachChannelAreItsOwn) {
    const std::string stored = "[Optionen]\r\nhspiegeln = 1\r\n";
    Window w(stored);
    editRemoteAlarm(w, [&w](QWidget* dialog) {
        w.state.holdOffFrames = 0;
        EXPECT_TRUE(field<QCheckBox>(dialog, "mail:ausloesung")->isChecked());
        EXPECT_TRUE(field<QCheckBox>(dialog, "mqtt:video")->isChecked());
        EXPECT_TRUE(field<QCheckBox>(dialog, "push:kamera")->isChecked());
        EXPECT_FALSE(field<QCheckBox>(dialog, "push:wache")->isChecked());
        EXPECT_EQ(field<QCheckBox>(dialog, "mail:programm")->text(), "Programmstart und -ende");
        field<QCheckBox>(dialog, "push:video")->setChecked(false);
        field<QCheckBox>(dialog, "push:wache")->setChecked(true);
        field<QCheckBox>(dialog, "push:upload")->setChecked(true);
        press(dialog, QDialogButtonBox::Ok);
    });
    EXPECT_EQ(w.state.holdOffFrames, 1) << "the next run after the dialog holds off";
    // The options themselves were not touched: their group stays away.
    EXPECT_EQ(w.settings(), stored +
                                "[Fernalarmereignisse]\r\nmail = ausloesung,video,kamera\r\n"
                                "push = ausloesung,kamera,wache,upload\r\n"
                                "mqtt = ausloesung,video,kamera\r\n");
    editRemoteAlarm(w, [](QWidget* dialog) {
        EXPECT_FALSE(field<QCheckBox>(dialog, "push:video")->isChecked());
        EXPECT_TRUE(field<QCheckBox>(dialog, "push:upload")->isChecked());
        press(dialog, QDialogButtonBox::Cancel);
    });
}

// Opened and closed in every way without a choice, the file keeps every byte: bytes that are
// no UTF-8, a number beyond its range, the events in an order and with a word of their own.
TEST(RemoteAlarmDialog, WithoutAChangeTheFileStaysByteForByte) {
    for (const std::string& stored :
         {std::string("[Optionen]\r\nhspiegeln = 0\r\n"),
          std::string("[Fernalarm]\r\nmailuser = J\xFCrgen\r\nmailport = 99999\r\n"
                      "[Fernalarmereignisse]\r\nmail = video,ausloesung,kamera,spaeter\r\n")}) {
        Window w(stored);
        editRemoteAlarm(w, [](QWidget* dialog) { press(dialog, QDialogButtonBox::Ok); });
        editRemoteAlarm(w, [](QWidget* dialog) { dialog->close(); });
        editRemoteAlarm(w, [](QWidget* dialog) {
            field<QCheckBox>(dialog, "push")->setChecked(true);
            field<QLineEdit>(dialog, "mailuser")->setText("jemand");
            field<QCheckBox>(dialog, "mail:wache")->setChecked(true);
            press(dialog, QDialogButtonBox::Cancel);
        });
        EXPECT_EQ(w.settings(), stored);
        EXPECT_FALSE(std::filesystem::exists(w.folder / "Ausgang"));
    }
}

// The test message goes with the values typed in, not yet saved, and its outcome is shown.
class TestMessage : public ::testing::Test {
protected:
    void start(const QString& statuses) {
        server = std::make_unique<ScriptServer>(
            "httpserver.py",
            QStringList{QString::fromStdString(requests.path().string()), statuses});
        ASSERT_NE(server->port(), 0) << server->errors();
        url = "http://127.0.0.1:" + QString::number(server->port()) + "/hook";
    }
    // What the push page says after its test, or "" when it says nothing within the bound.
    QString testOutcome(QWidget* dialog) {
        field<QLineEdit>(dialog, "pushurl")->setText(url);
        field<QPushButton>(dialog, "pushtest")->click();
        auto* outcome = field<QLabel>(dialog, "pushergebnis");
        if (!QTest::qWaitFor([&] { return field<QPushButton>(dialog, "pushtest")->isEnabled(); },
                             20000))
            return {};
        return outcome->text();
    }

    const std::string stored = "[Optionen]\r\nwarten = 3\r\n";
    TempFolder requests;
    std::unique_ptr<ScriptServer> server;
    QString url;
};

TEST_F(TestMessage, DeliveredItSaysHowLongItTook) {
    start("200");
    Window w(stored);
    editRemoteAlarm(w, [&](QWidget* dialog) {
        EXPECT_EQ(field<QLabel>(dialog, "ausgangzustand")->text(), "Kein Fernalarm eingeschaltet.");
        const QString outcome = testOutcome(dialog);
        EXPECT_TRUE(QRegularExpression("^zugestellt in \\d+,\\d s$").match(outcome).hasMatch())
            << outcome.toStdString();
        press(dialog, QDialogButtonBox::Cancel);
    });
    const QJsonObject request = summaryAt(requests / "request-1.json");
    EXPECT_EQ(request["path"].toString(), "/hook");
    EXPECT_EQ(request["headers"].toObject()["Title"].toString(), "Sentello: Testnachricht");
    EXPECT_NE(fileBytes(requests / "request-1.body").find("Dies ist eine Testnachricht"),
              std::string::npos);
    EXPECT_EQ(w.settings(), stored) << "a test saves nothing";
}

TEST_F(TestMessage, RefusedItSaysWhyInGerman) {
    start("401");
    Window w(stored);
    editRemoteAlarm(w, [&](QWidget* dialog) {
        EXPECT_EQ(testOutcome(dialog), "nicht zugestellt: Anmeldung abgelehnt (HTTP 401)");
        press(dialog, QDialogButtonBox::Cancel);
    });
}

// A channel switched on in the dialog starts at once, with an outbox of its own.
TEST_F(TestMessage, AChannelSwitchedOnStartsAtOnce) {
    start("200");
    Window w(stored);
    editRemoteAlarm(w, [&](QWidget* dialog) {
        field<QCheckBox>(dialog, "push")->setChecked(true);
        field<QLineEdit>(dialog, "pushurl")->setText(url);
        press(dialog, QDialogButtonBox::Ok);
    });
    EXPECT_TRUE(std::filesystem::is_directory(w.folder / "Ausgang"));
    editRemoteAlarm(w, [&](QWidget* dialog) {
        EXPECT_EQ(field<QLabel>(dialog, "ausgangzustand")->text(), "Keine Nachricht wartet");
        press(dialog, QDialogButtonBox::Cancel);
    });
}

// The dialog closed while the server keeps the test waiting: the answer that comes later
// finds no dialog and is dropped.
TEST(RemoteAlarmTestMessage, ADialogClosedDuringTheTestIsLeftAlone) {
    auto silent = std::make_unique<SilentServer>();
    {
        Window w;
        editRemoteAlarm(w, [&](QWidget* dialog) {
            field<QLineEdit>(dialog, "pushurl")
                ->setText(QString::fromStdString("http://" + silent->server + "/hook"));
            field<QPushButton>(dialog, "pushtest")->click();
            EXPECT_FALSE(field<QPushButton>(dialog, "pushtest")->isEnabled());
            EXPECT_EQ(field<QLabel>(dialog, "pushergebnis")->text(), "wird gesendet …");
            EXPECT_TRUE(QTest::qWaitFor([&] { return silent->called(); }, 20000));
            press(dialog, QDialogButtonBox::Cancel);
        });
        // The connection is broken off now: the test ends and tells the application.
        silent.reset();
    }
    QCoreApplication::processEvents();
}

}  // namespace
