// The page "Kopie" of the dialog "Fernalarm": its fields and the keys they stand for, the group
// written only when something was chosen, and its connection test against a real FTP server on
// 127.0.0.1 (tests/support/ftpserver.py), with the minute upload's server, user and password.

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

#include "../ftpserver.h"
#include "liveviewmenu.h"
#include "settings/copyoptions.h"
#include "settings/credentialscrambling.h"
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

TEST(CopyPage, TheFieldsShowAndKeepEachKeyInTheGroupKopieAlone) {
    const std::string stored =
        "[Optionen]\r\nwarten = 3\r\n[Kopie]\r\nkopieschluessel = SHA256:x\r\n";
    Window w(stored);
    editRemoteAlarm(w, [&](QWidget* dialog) {
        EXPECT_FALSE(field<QCheckBox>(dialog, "kopie")->isChecked());
        EXPECT_EQ(field<QComboBox>(dialog, "kopieart")->currentIndex(), 0);
        EXPECT_EQ(field<QComboBox>(dialog, "kopieart")->currentText(), "FTP");
        EXPECT_EQ(field<QSpinBox>(dialog, "kopieport")->value(), 21);
        EXPECT_EQ(text(dialog, "kopieordner"), "sentello");
        EXPECT_EQ(text(dialog, "kopieschluessel"), "SHA256:x");
        EXPECT_TRUE(field<QLineEdit>(dialog, "kopieschluessel")->isReadOnly());
        EXPECT_EQ(field<QLineEdit>(dialog, "kopiepass")->echoMode(), QLineEdit::Password);
        EXPECT_EQ(field<QLabel>(dialog, "kopiezustand")->text(), "Kopie ist aus.");
        field<QCheckBox>(dialog, "kopie")->setChecked(true);
        field<QComboBox>(dialog, "kopieart")->setCurrentIndex(2);
        EXPECT_EQ(field<QSpinBox>(dialog, "kopieport")->value(), 22) << "SFTP's usual port";
        field<QLineEdit>(dialog, "kopieserver")->setText("kopie.example.org");
        field<QSpinBox>(dialog, "kopieport")->setValue(2222);
        field<QLineEdit>(dialog, "kopieuser")->setText("wache");
        field<QLineEdit>(dialog, "kopiepass")->setText("geheim");
        field<QLineEdit>(dialog, "kopieordner")->setText("haus/keller");
        field<QPushButton>(dialog, "kopieschluesselvergessen")->click();
        press(dialog, QDialogButtonBox::Ok);
    });
    const CopyOptions copy = loadCopyOptions(w.settingsFile);
    EXPECT_TRUE(copy.on);
    EXPECT_EQ(copy.protocol, static_cast<int>(CopyProtocol::Sftp));
    EXPECT_EQ(copy.server, "kopie.example.org");
    EXPECT_EQ(copy.port, 2222);
    EXPECT_EQ(copy.user, "wache");
    EXPECT_EQ(copy.password, "geheim");
    EXPECT_EQ(copy.folder, "haus/keller");
    EXPECT_EQ(copy.fingerprint, "");
    const std::string settings = w.settings();
    EXPECT_EQ(settings.find("geheim"), std::string::npos) << "the password is stored scrambled";
    EXPECT_EQ(settings.find("[Fernalarm]"), std::string::npos) << settings;
    EXPECT_EQ(settings.find("[Fernalarmereignisse]"), std::string::npos) << settings;
    // Switched on, the copies have an outbox at once.
    EXPECT_TRUE(std::filesystem::is_directory(w.folder / "Ausgang"));
    editRemoteAlarm(w, [&](QWidget* dialog) {
        EXPECT_EQ(field<QLabel>(dialog, "kopiezustand")->text(), "Keine Nachricht wartet");
        EXPECT_EQ(field<QLabel>(dialog, "ausgangzustand")->text(), "Keine Nachricht wartet");
        press(dialog, QDialogButtonBox::Cancel);
    });
}

TEST(CopyPage, WithoutAChoiceTheFileStaysByteForByte) {
    const std::string stored = "[Optionen]\r\nwarten = 3\r\n";
    Window w(stored);
    editRemoteAlarm(w, [](QWidget* dialog) { press(dialog, QDialogButtonBox::Ok); });
    editRemoteAlarm(w, [](QWidget* dialog) {
        field<QCheckBox>(dialog, "kopie")->setChecked(true);
        press(dialog, QDialogButtonBox::Cancel);
    });
    EXPECT_EQ(w.settings(), stored);
}

// The test writes a file into the folder and removes it, with the values typed in, not yet
// saved; FTP's empty server, user and password are the minute upload's.
TEST(CopyPage, TheConnectionTestTakesTheMinuteUploadsLoginAndSaysHowItWent) {
    TempFolder served;
    FtpServer ftp(served.path(), "wächter", "geheim 1");
    ASSERT_NE(ftp.port(), 0) << "the FTP server did not start (pyftpdlib missing?)";
    const std::string stored = "[Optionen]\r\nwarten = 3\r\nserver = " + ftp.server() +
                               "\r\nuser = " + scrambleCredential("wächter", credentialKey) +
                               "\r\npass = " + scrambleCredential("geheim 1", credentialKey) +
                               "\r\n";
    Window w(stored);
    const auto outcome = [](QWidget* dialog) {
        field<QPushButton>(dialog, "kopietest")->click();
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return field<QPushButton>(dialog, "kopietest")->isEnabled(); }, 20000));
        return field<QLabel>(dialog, "kopieergebnis")->text();
    };
    editRemoteAlarm(w, [&](QWidget* dialog) {
        field<QLineEdit>(dialog, "kopieordner")->setText("ablage");
        const QString done = outcome(dialog);
        EXPECT_TRUE(QRegularExpression("^Datei geschrieben und gelöscht in \\d+,\\d s$")
                        .match(done)
                        .hasMatch())
            << done.toStdString();
        EXPECT_TRUE(std::filesystem::is_directory(served.path() / "ablage"));
        EXPECT_TRUE(std::filesystem::is_empty(served.path() / "ablage"));
        field<QLineEdit>(dialog, "kopiepass")->setText("falsch");
        EXPECT_EQ(outcome(dialog), "gescheitert: Anmeldung abgelehnt");
        press(dialog, QDialogButtonBox::Cancel);
    });
    EXPECT_EQ(w.settings(), stored) << "a test saves nothing";
}

}  // namespace
