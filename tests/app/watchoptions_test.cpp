// What a watch keeps for the next one: its camera and recording mode, only when it is a watch,
// and the autostart entry that "Beim Anmelden starten" puts in place and takes away.

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "liveviewmenu.h"
#include "settings/autostartentry.h"
#include "settings/settingsfolder.h"
#include "testwindow.h"

namespace {

std::string contentOf(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The desktop's configuration in a folder of the test's own.
struct ConfigHome {
    TempFolder folder;
    ConfigHome() { ::setenv("XDG_CONFIG_HOME", folder.path().c_str(), 1); }
    ~ConfigHome() { ::unsetenv("XDG_CONFIG_HOME"); }
    std::filesystem::path entry() const { return folder / "autostart" / "sentello.desktop"; }
};

void chooseAutostart(Window& w, bool on) {
    answerMenuDialog(
        w, "Erweiterte Einstellungen…", "Erweiterte Einstellungen", [on](QWidget* dialog) {
            dialog->findChild<QCheckBox*>("autostart")->setChecked(on);
            dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        });
}

void switchRecordMode(Window& w) {
    w.g.as<QAbstractButton>(Gadget::recordModeCheck)->click();
}

TEST(WatchState, AWatchWritesItsCameraAndRecordModeAtOnce) {
    Window w("[Optionen]\r\nwarten = 2\r\n");
    w.window.keepWatchState(true, "Demo-Kamera (eingebaut)");
    EXPECT_EQ(w.settings(),
              "[Optionen]\r\nwarten = 2\r\n[Erweitert]\r\nkamera = Demo-Kamera (eingebaut)\r\n"
              "ueberwachung = 0\r\n");
    switchRecordMode(w);
    EXPECT_EQ(w.settings(),
              "[Optionen]\r\nwarten = 2\r\n[Erweitert]\r\nkamera = Demo-Kamera (eingebaut)\r\n"
              "ueberwachung = 1\r\n");
}

TEST(WatchState, APlainStartLeavesTheFileAsItIs) {
    Window w("[Optionen]\r\nwarten = 2\r\n");
    w.window.keepWatchState(false, "/dev/video0");
    switchRecordMode(w);
    EXPECT_EQ(w.settings(), "[Optionen]\r\nwarten = 2\r\n");
}

TEST(WatchState, TheResumedRecordModeIsOnAndStored) {
    Window w;
    w.window.resumeRecordMode(true);
    w.window.keepWatchState(true, "/dev/video0");
    EXPECT_TRUE(w.g.as<QAbstractButton>(Gadget::recordModeCheck)->isChecked());
    EXPECT_EQ(w.settings(), "[Erweitert]\r\nkamera = /dev/video0\r\nueberwachung = 1\r\n");
}

TEST(Autostart, SwitchedOnTheEntryStartsThisProgramAsAWatchAndTheStateIsKept) {
    const ConfigHome config;
    Window w;
    w.window.keepWatchState(false, "/dev/video0");
    chooseAutostart(w, true);
    const std::string entry = contentOf(config.entry());
    EXPECT_NE(entry.find("\nExec=" + runningProgramPath() + " --watch\n"), std::string::npos)
        << entry;
    const std::string folder = w.folder.path().string() + "/";
    EXPECT_NE(entry.find("\nX-Sentello-Settings=" + folder + "\n"), std::string::npos) << entry;
    // From now on this program keeps what the watch at login is to take up.
    switchRecordMode(w);
    EXPECT_NE(w.settings().find("kamera = /dev/video0\r\nueberwachung = 1\r\n"), std::string::npos)
        << w.settings();
    EXPECT_NE(w.settings().find("autostart = 1"), std::string::npos);

    chooseAutostart(w, false);
    EXPECT_FALSE(std::filesystem::exists(config.entry()));
    EXPECT_NE(w.settings().find("autostart = 0"), std::string::npos);
}

TEST(Autostart, AFileThatIsNotOursStaysAndTheOptionStaysOff) {
    const ConfigHome config;
    std::filesystem::create_directories(config.entry().parent_path());
    const std::string users = "[Desktop Entry]\nType=Application\nName=Mine\nExec=mine\n";
    std::ofstream(config.entry(), std::ios::binary) << users;
    Window w;
    QString said;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            said = box->text();
            box->accept();
        }
    });
    answer.start(10);
    chooseAutostart(w, true);
    EXPECT_TRUE(said.startsWith("Der Autostart-Eintrag wurde nicht geschrieben:"))
        << said.toStdString();
    EXPECT_EQ(contentOf(config.entry()), users);
    EXPECT_NE(w.settings().find("autostart = 0"), std::string::npos) << w.settings();
}

}  // namespace
