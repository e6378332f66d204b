// The main loop as it runs: the clock choosing the time slot, the camera dialogs and clips
// holding the detection while the picture goes on, and the video list as the clips come and go.

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTabBar>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "../ftpserver.h"
#include "../outputs/servertest.h"
#include "../silentserver.h"
#include "app/statusdisplay.h"
#include "liveviewmenu.h"
#include "media/camerasources.h"
#include "outputs/eventlog.h"
#include "testwindow.h"

namespace {

// Slot values that tell the four slots apart.
const std::string kFourSlots =
    "[Optionen]\r\n"
    "helligkeit0 = 100\r\nempfindlichkeit0 = 10\r\nausloeser0 = 1\r\n"
    "helligkeit1 = 110\r\nempfindlichkeit1 = 11\r\nausloeser1 = 2\r\n"
    "helligkeit2 = 120\r\nempfindlichkeit2 = 12\r\nausloeser2 = 3\r\n"
    "helligkeit3 = 130\r\nempfindlichkeit3 = 13\r\nausloeser3 = 4\r\n";

// A clock that stands where the test puts it; the window is told when it was set, as it is
// told when the machine's clock was.
struct TestClock {
    DateFields now;
    std::int64_t ticks = 0;

    MainLoopClock clock() {
        return {[this] { return now; }, [this] { return ticks; }};
    }
};

bool waitFor(const std::function<bool()>& condition) {
    return QTest::qWaitFor(condition, 20000);
}

std::string eventLog(const Window& w) {
    std::ifstream in(w.folder / "Sentello.log");
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(MainLoopClock, EachNewMinuteSelectsTheSlotOfTheClock) {
    TestClock clock{{2026, 12, 9, 10, 59, 30}};
    Window w(kFourSlots, clock.clock());
    EXPECT_EQ(w.g.state(Gadget::slotTabs), 0);
    EXPECT_EQ(w.window.detectionValues().sensitivity, 10);
    w.window.startFrameTimer();
    ASSERT_TRUE(
        waitFor([&] { return w.g.text(Gadget::clockLabel) == "Aktuelle Systemzeit: 10:59"; }));

    // A tab chosen by hand holds until the minute changes.
    w.g.as<QTabBar>(Gadget::slotTabs)->setCurrentIndex(2);
    w.window.clockChanged();
    EXPECT_EQ(w.g.state(Gadget::slotTabs), 2);
    EXPECT_EQ(w.window.detectionValues().sensitivity, 12);

    w.state.holdOffFrames = 0;
    clock.now.minute = 0;
    clock.now.hour = 11;
    w.window.clockChanged();
    EXPECT_EQ(w.g.state(Gadget::slotTabs), 1);
    const DetectionValues values = w.window.detectionValues();
    EXPECT_EQ(values.brightness, 110);
    EXPECT_EQ(values.sensitivity, 11);
    EXPECT_EQ(values.trigger, 2);
    EXPECT_EQ(w.g.text(Gadget::triggerLabel), "Auslöser (Prozent): 2");
    EXPECT_EQ(w.g.text(Gadget::clockLabel), "Aktuelle Systemzeit: 11:00");
    EXPECT_EQ(w.state.holdOffFrames, 1);

    // A slider moved now writes the slot of the clock.
    w.g.as<QSlider>(Gadget::triggerSlider)->setValue(40);
    const std::string stored = w.settings();
    EXPECT_NE(stored.find("ausloeser1 = 40\r\n"), std::string::npos) << stored;
    EXPECT_NE(stored.find("empfindlichkeit1 = 11\r\n"), std::string::npos) << stored;
    EXPECT_NE(stored.find("ausloeser2 = 3\r\n"), std::string::npos) << stored;
}

TEST(MainLoopClock, TheNightBelongsToTheLastSlot) {
    TestClock clock{{2026, 12, 9, 22, 30, 0}};
    Window w(kFourSlots, clock.clock());
    EXPECT_EQ(w.g.state(Gadget::slotTabs), 3);
    w.window.startFrameTimer();
    ASSERT_TRUE(
        waitFor([&] { return w.g.text(Gadget::clockLabel) == "Aktuelle Systemzeit: 22:30"; }));
    clock.now = {2026, 12, 10, 3, 0, 0};
    w.window.clockChanged();
    EXPECT_EQ(w.g.text(Gadget::clockLabel), "Aktuelle Systemzeit: 03:00");
    EXPECT_EQ(w.g.state(Gadget::slotTabs), 3);
    EXPECT_EQ(w.window.detectionValues().sensitivity, 13);
    clock.now.hour = 6;
    w.window.clockChanged();
    EXPECT_EQ(w.g.state(Gadget::slotTabs), 0);
    EXPECT_EQ(w.window.detectionValues().sensitivity, 10);
}

TEST(MainLoopClock, AfterMidnightTheNightSlotHolds) {
    TestClock clock{{2026, 12, 10, 0, 4, 0}};
    Window w(kFourSlots, clock.clock());
    EXPECT_EQ(w.g.state(Gadget::slotTabs), 3) << "started after midnight: the 22:00 slot";
    EXPECT_EQ(w.window.detectionValues().sensitivity, 13);
    w.window.startFrameTimer();
    ASSERT_TRUE(
        waitFor([&] { return w.g.text(Gadget::clockLabel) == "Aktuelle Systemzeit: 00:04"; }));

    // A tab chosen by hand lasts only until the minute changes, at night too.
    clock.now.minute = 14;
    w.window.clockChanged();
    EXPECT_EQ(w.g.text(Gadget::clockLabel), "Aktuelle Systemzeit: 00:14");
    w.g.as<QTabBar>(Gadget::slotTabs)->setCurrentIndex(1);
    w.window.clockChanged();
    EXPECT_EQ(w.window.detectionValues().sensitivity, 11);
    clock.now.minute = 16;
    w.window.clockChanged();
    EXPECT_EQ(w.g.state(Gadget::slotTabs), 3);
    EXPECT_EQ(w.window.detectionValues().sensitivity, 13);
}

const char* const kRollingBall =
    "videotestsrc is-live=true pattern=ball ! video/x-raw,width=160,height=120";
const char* const kAgainstTheBackground = "[Erweitert]\r\nreferenz = 1\r\n";

// Sensitivity 1 and trigger 1 %: every new picture of a rolling ball is counted.
struct CountingWindow : Window {
    PictureCounter pictures{camera};
    std::uint64_t firstPicture = 0;

    explicit CountingWindow(const std::string& storedSettings = {},
                            const char* source = kRollingBall, int sensitivity = 1, int trigger = 1)
        : Window(storedSettings) {
        EXPECT_TRUE(loadCaptureLibrary());
        EXPECT_TRUE(camera.connectSource({"test", source, {}}));
        firstPicture = camera.newestSequence().value_or(0);
        g.setState(Gadget::sensitivitySlider, sensitivity);
        g.setState(Gadget::triggerSlider, trigger);
        g.setState(Gadget::recordModeCheck, 1);
        g.setState(Gadget::countOnlyCheck, 1);
        g.setState(Gadget::waitSpin, 0);
        window.show();
        window.startFrameTimer();
    }
    int count() const { return g.text(Gadget::counterField).toInt(); }
    // The pictures the camera has delivered since the window began to watch.
    int newPictures() const {
        return static_cast<int>(camera.newestSequence().value_or(firstPicture) - firstPicture);
    }
    QImage livePicture() { return window.statusDisplay().liveView()->grab().toImage(); }
    // Lets the camera deliver that many more pictures, each looked at by the window.
    bool picturesPass(int count) {
        const int until = pictures.count + count;
        return waitFor([&] { return pictures.count >= until; });
    }
};

TEST(MainLoopCameraDialogs, NothingIsDetectedWhileADialogIsOpen) {
    CountingWindow w;
    ASSERT_TRUE(waitFor([&] { return w.count() >= 3; }));

    bool checked = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), "Videoquelle");
        const int counted = w.count();
        const BlockGrid reference = w.state.blockReference;
        const QImage before = w.livePicture();
        // The picture goes on, and moving the camera's own sliders counts nothing.
        EXPECT_TRUE(waitFor([&] { return w.livePicture() != before; }));
        auto* slider = dialog->findChild<QSlider*>();
        ASSERT_NE(slider, nullptr);
        for (int step = 1; step <= 5; ++step) {
            slider->setValue(slider->value() + step * 3);
            EXPECT_TRUE(w.picturesPass(3));
        }
        EXPECT_EQ(w.count(), counted);
        EXPECT_EQ(w.state.blockReference, reference);
        checked = true;
        dialog->reject();
    });
    w.g.as<QPushButton>(Gadget::sourceButton)->click();
    ASSERT_TRUE(checked);
    EXPECT_EQ(w.state.holdOffFrames, 1);
    const int counted = w.count();
    EXPECT_TRUE(waitFor([&] { return w.count() > counted; }));
}

// Against the background every run on the same picture finds the ball again; only a run with
// a new picture may count it.
TEST(MainLoopBackground, CountsNeverExceedTheNewPictures) {
    CountingWindow w(kAgainstTheBackground);
    ASSERT_TRUE(w.picturesPass(90));
    const int pictures = w.newPictures() + 1;
    EXPECT_GT(w.count(), 0) << "the ball differs from the background";
    EXPECT_LE(w.count(), pictures);
}

// Colour bars that stand still: only the camera's own brightness changes the picture, which
// the background must not take for motion once the dialog is closed.
TEST(MainLoopBackground, StartsAnewAfterTheCamerasOwnDialog) {
    CountingWindow w(kAgainstTheBackground,
                     "videotestsrc is-live=true pattern=smpte ! video/x-raw,width=160,height=120",
                     10, 10);
    ASSERT_TRUE(w.picturesPass(15));
    ASSERT_EQ(w.count(), 0);
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto* brightness = dialog->findChild<QSlider*>();
        ASSERT_NE(brightness, nullptr);
        brightness->setValue(brightness->value() +
                             (brightness->maximum() - brightness->value()) / 2);
        EXPECT_TRUE(w.picturesPass(6));
        dialog->accept();
    });
    w.g.as<QPushButton>(Gadget::sourceButton)->click();
    ASSERT_TRUE(w.picturesPass(60));
    EXPECT_EQ(w.count(), 0) << "the new brightness counted as motion";
}

// The ball moves on every picture; the clip is under way from its request, so its start, which
// takes a few pictures, sounds no second alarm.
TEST(MainLoopRecording, OneTriggerOneAlarmUntilTheClipHasEnded) {
    CountingWindow w;
    w.g.setState(Gadget::countOnlyCheck, 0);
    w.g.setState(Gadget::clipLengthSpin, 3);
    w.g.setState(Gadget::waitSpin, 300);
    const auto logged = [&] { return eventLog(w); };
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return logged().find("\tVideo fertig\t") != std::string::npos; }, 30000))
        << logged();
    const std::string log = logged();
    int triggers = 0;
    for (std::size_t at = log.find("\tAuslösung\t"); at != std::string::npos;
         at = log.find("\tAuslösung\t", at + 1))
        ++triggers;
    EXPECT_EQ(triggers, 1) << log;
    EXPECT_EQ(log.find("während Video"), std::string::npos) << log;
}

TEST(MainLoopRecording, ThePictureGoesOnWithARecordingMarkWhileAClipIsWritten) {
    CountingWindow w;
    ASSERT_TRUE(waitFor([&] { return w.count() >= 1; }));
    const QPoint mark(320 - 12, 12);
    EXPECT_NE(w.livePicture().pixelColor(mark), QColor(255, 0, 0));

    w.state.recordingActive = true;
    const int counted = w.count();
    ASSERT_TRUE(waitFor([&] { return w.livePicture().pixelColor(mark) == QColor(255, 0, 0); }));
    const QImage before = w.livePicture();
    EXPECT_TRUE(waitFor([&] { return w.livePicture() != before; }));
    EXPECT_EQ(w.count(), counted);

    w.state.recordingActive = false;
    EXPECT_TRUE(waitFor([&] { return w.livePicture().pixelColor(mark) != QColor(255, 0, 0); }));
}

// The minute's upload to a server that takes the connection and never answers: the frame
// timer goes on turning meanwhile, and the window answers.
// A settings file far larger than settings can be is none this program may replace: the
// slider's step is not saved, and the log says so.
TEST(MainLoopSettings, AStepThatCannotBeSavedIsInTheEventLog) {
    const std::string large = "[Optionen]\r\n" + std::string(2 * 1024 * 1024, ';') + "\r\n";
    Window w(large);
    w.g.as<QSlider>(Gadget::triggerSlider)->setValue(40);
    ASSERT_TRUE(waitFor([&] {
        return eventLog(w).find(
                   "\tEinstellungen nicht gespeichert\tthe file could not be read\n") !=
               std::string::npos;
    })) << eventLog(w);
    EXPECT_EQ(w.settings(), large);
}

TEST(MainLoopUpload, TheWindowGoesOnWhileTheServerIsSilent) {
    const SilentServer silent;
    TestClock clock{{2026, 12, 9, 10, 30, 0}};
    Window w("[Optionen]\r\nupload = 1\r\nserver = " + silent.server + "\r\npicname = bild.jpg\r\n",
             clock.clock());
    ASSERT_TRUE(loadCaptureLibrary());
    ASSERT_TRUE(w.camera.connectSource(
        {"ball", "videotestsrc is-live=true pattern=ball ! video/x-raw,width=160,height=120", {}}));
    PictureCounter pictures(w.camera);
    w.g.setState(Gadget::recordModeCheck, 1);
    w.window.show();
    w.window.startFrameTimer();

    clock.ticks += 60001;
    w.window.clockChanged();
    ASSERT_TRUE(waitFor([&] { return silent.called(); })) << "the minute step did not upload";
    const int before = pictures.count;
    EXPECT_TRUE(waitFor([&] { return pictures.count >= before + 50; }));
    EXPECT_TRUE(silent.called()) << "the server has still not answered";
    w.g.as<QCheckBox>(Gadget::mirrorCheck)->click();
    EXPECT_EQ(w.g.state(Gadget::mirrorCheck), 0);
}

// Each minute's upload says on the "Internet" tab how it ended, and is in the log: a refused
// login in the user's words, then, with the right password, the arrival.
TEST(MainLoopUpload, TheLastUploadsResultIsShownAndLogged) {
    const TempFolder served;
    const FtpServer ftp(served.path(), "wächter", "geheim");
    ASSERT_NE(ftp.port(), 0) << "the FTP server did not start (pyftpdlib missing?)";
    TestClock clock{{2026, 12, 9, 10, 30, 0}};
    Window w("[Optionen]\r\nupload = 1\r\nserver = " + ftp.server() + "\r\npicname = bild.jpg\r\n",
             clock.clock());
    ASSERT_TRUE(loadCaptureLibrary());
    ASSERT_TRUE(w.camera.connectSource(
        {"ball", "videotestsrc is-live=true pattern=ball ! video/x-raw,width=160,height=120", {}}));
    w.g.setText(Gadget::userField, "wächter");
    w.g.setText(Gadget::passwordField, "falsch");
    w.g.setState(Gadget::recordModeCheck, 1);
    EXPECT_EQ(w.g.text(Gadget::uploadStatusLabel), "");
    w.window.show();
    w.window.startFrameTimer();
    const std::string log = (w.folder / "Sentello.log").string();

    clock.ticks += 60001;
    w.window.clockChanged();
    EXPECT_TRUE(waitFor([&] {
        return w.g.text(Gadget::uploadStatusLabel) ==
               "Letzter Upload: 10:30 fehlgeschlagen: Anmeldung abgelehnt";
    })) << w.g.text(Gadget::uploadStatusLabel).toStdString();
    ASSERT_TRUE(waitFor([&] { return !recentEvents(log, 10).empty(); }));
    EXPECT_NE(
        recentEvents(log, 10)[0].find("\tUpload fehlgeschlagen\tconnect\tAnmeldung abgelehnt\t"),
        std::string::npos)
        << recentEvents(log, 10)[0];

    w.g.setText(Gadget::passwordField, "geheim");
    clock.now.minute = 31;
    clock.ticks += 60001;
    w.window.clockChanged();
    EXPECT_TRUE(waitFor([&] {
        return w.g.text(Gadget::uploadStatusLabel) == "Letzter Upload: 10:31 erfolgreich";
    })) << w.g.text(Gadget::uploadStatusLabel).toStdString();
    EXPECT_TRUE(std::filesystem::exists(served / "bild.jpg"));
    ASSERT_TRUE(waitFor([&] { return recentEvents(log, 10).size() == 2; }));
    EXPECT_TRUE(recentEvents(log, 10)[0].ends_with("\tUpload\tbild.jpg"))
        << recentEvents(log, 10)[0];

    // What the tab says is for this run only.
    w.window.saveSettings();
    EXPECT_EQ(w.settings().find("Letzter Upload"), std::string::npos);
}

// Makes a clip file after the one made before, by the file system's own clock.
statx_timestamp putClipAfter(const std::filesystem::path& clip, statx_timestamp previous) {
    for (int attempt = 0; attempt < 100000; ++attempt) {
        std::ofstream(clip) << "x";
        struct statx status {};
        if (::statx(AT_FDCWD, clip.c_str(), 0, STATX_BTIME | STATX_MTIME, &status) != 0)
            break;
        const statx_timestamp made =
            (status.stx_mask & STATX_BTIME) ? status.stx_btime : status.stx_mtime;
        if (std::tie(made.tv_sec, made.tv_nsec) > std::tie(previous.tv_sec, previous.tv_nsec))
            return made;
        std::filesystem::remove(clip);
    }
    ADD_FAILURE() << "no later time for " << clip;
    return previous;
}

TEST(MainLoopVideoList, OldestClipFirstAndNoRowSelectedAfterADeletion) {
    Window w;
    // Made in another order than their names sort or the folder lists them.
    const char* names[] = {"Video_Sentello_c.avi", "Video_Sentello_a.avi", "Video_Sentello_e.avi",
                           "Video_Sentello_b.avi", "Video_Sentello_d.avi"};
    statx_timestamp last{};
    for (const char* name : names)
        last = putClipAfter(w.folder / name, last);
    w.window.fillVideoList();
    ASSERT_EQ(w.g.countItems(Gadget::videoList), 5);
    for (int row = 0; row < 5; ++row) {
        EXPECT_EQ(w.g.itemText(Gadget::videoList, row).section(u'\n', 0, 0).toStdString(),
                  (w.folder / names[row]).string());
    }

    w.window.show();
    w.g.setState(Gadget::videoList, 1);
    w.window.showVideoListMenu();
    QWidget* menu = QApplication::activePopupWidget();
    ASSERT_NE(menu, nullptr);
    for (QAction* action : menu->actions()) {
        if (action->text() == "Video löschen")
            action->trigger();
    }
    menu->close();
    EXPECT_FALSE(std::filesystem::exists(w.folder / names[1]));
    EXPECT_EQ(w.g.countItems(Gadget::videoList), 4);
    EXPECT_EQ(w.g.state(Gadget::videoList), -1);
    EXPECT_TRUE(w.g.as<QTreeWidget>(Gadget::videoList)->selectedItems().isEmpty());
}

// A channel that subscribes once: what it heard, and whether each event came on the main
// thread.
struct HeardEvents {
    std::vector<WatchEvent> events;
    bool allOnTheMainThread = true;

    explicit HeardEvents(WatchEvents& stream) {
        stream.subscribe([this](const WatchEvent& event) {
            events.push_back(event);
            allOnTheMainThread = allOnTheMainThread &&
                                 QThread::currentThread() == QApplication::instance()->thread();
        });
    }
    bool heard(WatchEvent::Kind kind) const {
        return std::any_of(events.begin(), events.end(),
                           [kind](const WatchEvent& event) { return event.kind == kind; });
    }
};

// A settings file whose name leaves no room for the writer's temporary name beside it: it is
// read as any other, and each save fails on the writer's own thread, whoever runs the test.
const std::string kNameWithoutRoom = std::string(244, 'S') + ".prefs";

// One count (and then a long wait), the recording mode switched off, the camera lost and back:
// a subscriber hears each, in order, with its values; the event log has them too.
TEST(MainLoopEvents, ASubscriberHearsTheWatchInOrder) {
    CountingWindow w;
    w.g.setState(Gadget::waitSpin, 300);
    HeardEvents heard(w.window.watchEvents());
    ASSERT_TRUE(waitFor([&] { return heard.heard(WatchEvent::Kind::Trigger); }));
    w.window.stopWatching();

    w.g.as<QAbstractButton>(Gadget::recordModeCheck)->click();
    emit w.camera.deliveryStopped();
    emit w.camera.deliveryResumed(3);

    using Kind = WatchEvent::Kind;
    std::vector<Kind> kinds;
    for (const WatchEvent& event : heard.events)
        kinds.push_back(event.kind);
    ASSERT_EQ(kinds, (std::vector<Kind>{Kind::Trigger, Kind::WatchSwitched, Kind::CameraLost,
                                        Kind::CameraBack}));
    const WatchEvent& trigger = heard.events[0];
    EXPECT_EQ(trigger.effect, WatchEvent::Effect::Counted);
    EXPECT_EQ(trigger.count, 1);
    EXPECT_EQ(w.count(), 1);
    EXPECT_GE(trigger.changePercent, 1.0f);
    EXPECT_TRUE(trigger.clipPath.empty());
    EXPECT_FALSE(heard.events[1].on);
    EXPECT_EQ(heard.events[3].reconnections, 3);
    EXPECT_TRUE(heard.allOnTheMainThread);

    const std::string log = (w.folder / "Sentello.log").string();
    ASSERT_TRUE(waitFor([&] { return recentEvents(log, 10).size() == 3; }))
        << recentEvents(log, 10).size();
    const std::vector<std::string> lines = recentEvents(log, 10);
    EXPECT_NE(lines[2].find("\tAuslösung\t" + shareText(trigger.changePercent) + "\tgezählt: 1"),
              std::string::npos)
        << lines[2];
    EXPECT_TRUE(lines[1].ends_with("\tKamera verloren")) << lines[1];
    EXPECT_TRUE(lines[0].ends_with("\tKamera wieder da\tnach 3 Verbindungsversuchen")) << lines[0];
}

// The settings writer finds the failure on its own thread; the subscriber hears of it on the
// main thread, as the event loop gets to it; the event log says so too.
TEST(MainLoopEvents, AFailureOnTheSettingsWritersThreadIsHeardOnTheMainThread) {
    Window w("[Optionen]\r\nwarten = 3\r\n", {}, kNameWithoutRoom);
    HeardEvents heard(w.window.watchEvents());
    w.g.as<QSlider>(Gadget::triggerSlider)->setValue(40);
    ASSERT_TRUE(waitFor([&] { return heard.heard(WatchEvent::Kind::SettingsNotSaved); }));
    ASSERT_EQ(heard.events.size(), 1u);
    EXPECT_EQ(heard.events[0].reason, "create: File name too long");
    EXPECT_TRUE(heard.allOnTheMainThread);
    EXPECT_EQ(w.settings(), "[Optionen]\r\nwarten = 3\r\n");
    const std::string log = (w.folder / "Sentello.log").string();
    ASSERT_TRUE(waitFor([&] { return recentEvents(log, 10).size() == 1; }));
    EXPECT_TRUE(recentEvents(log, 10)[0].ends_with(
        "\tEinstellungen nicht gespeichert\tcreate: File name too long"));
}

// At the end no event loop runs any more: a failure of the last save is heard all the same.
TEST(MainLoopEvents, AFailureOfTheLastSaveIsHeardWithoutAnEventLoop) {
    Window w("[Optionen]\r\nwarten = 3\r\n", {}, kNameWithoutRoom);
    HeardEvents heard(w.window.watchEvents());
    w.window.saveSettings();
    ASSERT_EQ(heard.events.size(), 1u);
    EXPECT_EQ(heard.events[0].kind, WatchEvent::Kind::SettingsNotSaved);
    EXPECT_EQ(heard.events[0].reason, "create: File name too long");
    EXPECT_TRUE(heard.allOnTheMainThread);
}

}  // namespace

namespace {

// A web hook on 127.0.0.1 that fails the first message once: the trigger's message goes out
// with the captioned picture of the moment, is tried again, taken, and the log says it came
// late; nothing stays in the outbox.
TEST(RemoteAlarm, ATriggerReachesTheWebHookWithItsPictureAndIsTriedAgainUntilTaken) {
    TempFolder requests;
    ScriptServer server("httpserver.py",
                        {QString::fromStdString(requests.path().string()), "500,200"});
    ASSERT_NE(server.port(), 0) << server.errors();
    CountingWindow w("[Fernalarm]\r\npush = 1\r\npushurl = http://127.0.0.1:" +
                     std::to_string(server.port()) + "/hook\r\npushformat = 1\r\n");
    ASSERT_TRUE(waitFor([&] { return std::filesystem::exists(requests / "request-2.json"); }));

    const QJsonObject first = summaryAt(requests / "request-1.json")["json"].toObject();
    const QJsonObject taken = summaryAt(requests / "request-2.json")["json"].toObject();
    EXPECT_EQ(taken["event"].toString(), "motion");
    EXPECT_EQ(taken["id"], first["id"]) << "the same message, tried again";
    EXPECT_EQ(taken["count"].toInt(), 1);
    const std::string picture = fileBytes(requests / "request-2.picture");
    ASSERT_GT(picture.size(), 1000u);
    EXPECT_EQ(picture.substr(0, 2), "\xFF\xD8") << "a JPEG";

    const std::string log = (w.folder / "Sentello.log").string();
    ASSERT_TRUE(waitFor([&] {
        for (const std::string& line : recentEvents(log, 20)) {
            if (line.ends_with("\tFernalarm\tverspätet zugestellt\tPush"))
                return true;
        }
        return false;
    }));
    const std::filesystem::path outbox = w.folder / "Ausgang";
    EXPECT_EQ(std::filesystem::status(outbox).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_all);
    EXPECT_TRUE(waitFor([&] { return std::filesystem::is_empty(outbox); }));
}

// A user who never chose a channel has no outbox, and the settings file stays as it was.
TEST(RemoteAlarm, WithoutAChannelThereIsNoOutboxAndTheFileStays) {
    const std::string stored = "[Optionen]\r\nwarten = 3\r\n";
    Window w(stored);
    w.window.saveSettings();
    EXPECT_FALSE(std::filesystem::exists(w.folder / "Ausgang"));
    EXPECT_EQ(w.settings().find("Fernalarm"), std::string::npos);
}

// While "Fernalarm" is open the picture goes on and nothing is detected, and the outbox's
// state is read anew every second: a message the web hook does not take waits there.
TEST(RemoteAlarm, TheDialogHoldsTheDetectionAndShowsTheOutbox) {
    TempFolder requests;
    ScriptServer server("httpserver.py", {QString::fromStdString(requests.path().string()), "500"});
    ASSERT_NE(server.port(), 0) << server.errors();
    CountingWindow w("[Fernalarm]\r\npush = 1\r\npushurl = http://127.0.0.1:" +
                     std::to_string(server.port()) + "/hook\r\npushformat = 1\r\n");
    ASSERT_TRUE(waitFor([&] { return std::filesystem::exists(requests / "request-1.json"); }));
    bool checked = false;
    answerMenuDialog(w, "Fernalarm…", "Fernalarm", [&](QWidget* dialog) {
        const int counted = w.count();
        auto* state = dialog->findChild<QLabel*>("ausgangzustand");
        ASSERT_NE(state, nullptr);
        const QString first = state->text();
        EXPECT_TRUE(first.startsWith("1 Nachricht wartet")) << first.toStdString();
        EXPECT_TRUE(waitFor([&] { return state->text() != first; })) << first.toStdString();
        EXPECT_TRUE(w.picturesPass(30));
        EXPECT_EQ(w.count(), counted);
        checked = true;
        dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->click();
    });
    ASSERT_TRUE(checked);
    const int counted = w.count();
    EXPECT_TRUE(waitFor([&] { return w.count() > counted; })) << "detection goes on after it";
}

}  // namespace
