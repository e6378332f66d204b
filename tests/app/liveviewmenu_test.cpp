// The pop-up menu of the live picture, the advanced settings and the event log it opens, and
// the alarm for a camera that delivers nothing.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSpinBox>
#include <QTimer>

#include <gtest/gtest.h>
#include <QTest>

#include <filesystem>
#include <functional>
#include <memory>

#include "app/eventlogwindow.h"
#include "app/maskeditor.h"
#include "app/statusdisplay.h"
#include "app/windowplacement.h"
#include "detection/blockmask.h"
#include "liveviewmenu.h"
#include "outputs/eventlog.h"
#include "testwindow.h"

namespace {

std::size_t recentEventCount(const std::string& log) {
    return recentEvents(log, 10).size();
}

// Opens "Erweiterte Einstellungen" from the menu and lets `answer` work the dialog.
void editAdvancedSettings(Window& w, std::function<void(QWidget*)> answer) {
    answerMenuDialog(w, "Erweiterte Einstellungen…", "Erweiterte Einstellungen", std::move(answer));
}

void press(QWidget* dialog, QDialogButtonBox::StandardButton which) {
    dialog->findChild<QDialogButtonBox*>()->button(which)->click();
}

TEST(LiveViewMenu, OpensOnTheRightButtonAndTheMenuKeyAndHoldsOff) {
    Window w;
    w.state.holdOffFrames = 0;
    const QStringList expected{"Erweiterte Einstellungen…", "Fernalarm…",
                               "Erkennungsmaske bearbeiten", "Alarm testen", "Protokoll anzeigen"};
    EXPECT_EQ(openLiveViewMenu(w, QContextMenuEvent::Mouse), expected);
    EXPECT_EQ(w.state.holdOffFrames, 1);
    visibleMenu()->close();
    EXPECT_EQ(openLiveViewMenu(w, QContextMenuEvent::Keyboard), expected);
    visibleMenu()->close();
    EXPECT_EQ(w.window.statusDisplay().liveView()->focusPolicy(), Qt::StrongFocus);
}

// The log beside the settings, newest first; the filter narrows it, the window stays beside
// the main window.
TEST(EventLogView, ShowsTheNewestLinesFirstAndFilters) {
    Window w;
    WatchEvents& events = w.window.watchEvents();
    events.report(
        {.kind = WatchEvent::Kind::ProgramStart, .version = "Version 1.17", .source = "Demo"});
    events.report({.kind = WatchEvent::Kind::Trigger,
                   .changePercent = 40.0f,
                   .effect = WatchEvent::Effect::ClipStarted,
                   .clipPath = (w.folder / "Video_Sentello_20261209120000.avi").string()});
    events.report({.kind = WatchEvent::Kind::CameraLost});
    const auto log = w.folder / "Sentello.log";
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            std::error_code error;
            return std::filesystem::file_size(log, error) > 100 && !error &&
                   recentEventCount(log.string()) == 3;
        },
        20000));
    openLiveViewMenu(w, QContextMenuEvent::Mouse);
    chooseFromMenu("Protokoll anzeigen");
    auto* view = w.window.findChild<EventLogWindow*>();
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(view->isVisible());
    EXPECT_EQ(view->windowTitle(), "Protokoll");
    EXPECT_FALSE(view->isModal());
    const QStringList lines = view->findChild<QPlainTextEdit*>()->toPlainText().split('\n');
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].endsWith("\tKamera verloren"));
    EXPECT_TRUE(lines[2].contains("\tStart\t"));

    view->findChild<QLineEdit*>()->setText("video_sentello");
    EXPECT_EQ(view->findChild<QPlainTextEdit*>()->toPlainText().count('\n'), 0);
    EXPECT_TRUE(view->findChild<QPlainTextEdit*>()->toPlainText().contains("40 %"));
    view->findChild<QLineEdit*>()->setText("nirgends");
    EXPECT_EQ(view->findChild<QPlainTextEdit*>()->toPlainText(), "Keine Einträge.");
    view->close();
}

// While the window is open, each new line of the log comes into it; a reader further down
// stays where he is.
TEST(EventLogView, NewLinesComeInWhileItIsOpen) {
    Window w;
    for (int line = 0; line < 100; ++line)
        w.window.watchEvents().report(
            {.kind = WatchEvent::Kind::Trigger, .changePercent = static_cast<float>(line)});
    const std::string log = (w.folder / "Sentello.log").string();
    ASSERT_TRUE(QTest::qWaitFor([&] { return recentEvents(log, 200).size() == 100; }, 20000));
    w.window.show();
    openLiveViewMenu(w, QContextMenuEvent::Mouse);
    chooseFromMenu("Protokoll anzeigen");
    auto* view = w.window.findChild<EventLogWindow*>();
    ASSERT_NE(view, nullptr);
    auto* text = view->findChild<QPlainTextEdit*>();
    const auto lines = [text] { return text->toPlainText().split('\n'); };
    ASSERT_EQ(lines().size(), 100);

    w.window.watchEvents().report({.kind = WatchEvent::Kind::CameraLost});
    ASSERT_TRUE(QTest::qWaitFor([&] { return lines().size() == 101; }, 20000)) << lines().size();
    EXPECT_TRUE(lines()[0].endsWith("\tKamera verloren"));

    QScrollBar* bar = text->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 10);
    bar->setValue(10);
    w.window.watchEvents().report({.kind = WatchEvent::Kind::CameraBack, .reconnections = 1});
    ASSERT_TRUE(QTest::qWaitFor([&] { return lines().size() == 102; }, 20000));
    EXPECT_TRUE(lines()[0].contains("\tKamera wieder da\t"));
    EXPECT_EQ(bar->value(), 10);
    view->close();
}

// Wholly on the screen, beside the main window as far as the screen has room.
TEST(EventLogView, StandsBesideTheMainWindowOnTheScreen) {
    Window w;
    w.window.show();
    openLiveViewMenu(w, QContextMenuEvent::Mouse);
    chooseFromMenu("Protokoll anzeigen");
    auto* view = w.window.findChild<EventLogWindow*>();
    ASSERT_NE(view, nullptr);
    const QRect screen = w.window.screen()->availableGeometry();
    EXPECT_TRUE(screen.contains(view->frameGeometry()))
        << view->frameGeometry().x() << "," << view->frameGeometry().y();
    EXPECT_EQ(view->frameGeometry(),
              besideOwner(w.window.frameGeometry(), view->frameGeometry().size(), screen));
    view->close();
}

TEST(AdvancedSettings, TheChosenOptionsGoIntoTheirOwnGroupAndHoldOff) {
    Window w("[Optionen]\r\nhspiegeln = 1\r\n");
    editAdvancedSettings(w, [](QWidget* dialog) {
        dialog->findChild<QCheckBox*>("lichtausgleich")->setChecked(true);
        dialog->findChild<QSpinBox*>("kameraalarm")->setValue(30);
        dialog->findChild<QSpinBox*>("vorlauf")->setValue(4);
        // The background's time is for the background only.
        auto* time = dialog->findChild<QSpinBox*>("referenzzeit");
        EXPECT_FALSE(time->isEnabled());
        dialog->findChild<QComboBox*>("referenz")->setCurrentIndex(1);
        EXPECT_TRUE(time->isEnabled());
        time->setValue(0);
        EXPECT_EQ(time->value(), 1);
        time->setValue(45);
        press(dialog, QDialogButtonBox::Ok);
    });
    EXPECT_EQ(w.state.holdOffFrames, 1);
    EXPECT_EQ(w.settings(),
              "[Optionen]\r\nhspiegeln = 1\r\n[Erweitert]\r\nvorlauf = 4\r\n"
              "lichtausgleich = 1\r\nmaske = \r\nkameraalarm = 30\r\nspeichergrenze = 0\r\n"
              "benachrichtigung = 0\r\nreferenz = 1\r\nreferenzzeit = 45\r\nautostart = 0\r\n");

    // Opened again, it shows what was chosen.
    editAdvancedSettings(w, [](QWidget* dialog) {
        EXPECT_TRUE(dialog->findChild<QCheckBox*>("lichtausgleich")->isChecked());
        EXPECT_EQ(dialog->findChild<QSpinBox*>("kameraalarm")->value(), 30);
        EXPECT_EQ(dialog->findChild<QSpinBox*>("vorlauf")->value(), 4);
        EXPECT_EQ(dialog->findChild<QComboBox*>("referenz")->currentIndex(), 1);
        EXPECT_EQ(dialog->findChild<QSpinBox*>("referenzzeit")->value(), 45);
        press(dialog, QDialogButtonBox::Cancel);
    });
}

TEST(AdvancedSettings, CancelledOrUnchangedTheFileStaysAsItIs) {
    const std::string classic = "[Optionen]\r\nhspiegeln = 0\r\n";
    Window w(classic);
    editAdvancedSettings(w, [](QWidget* dialog) {
        dialog->findChild<QCheckBox*>("lichtausgleich")->setChecked(true);
        press(dialog, QDialogButtonBox::Cancel);
    });
    editAdvancedSettings(w, [](QWidget* dialog) { press(dialog, QDialogButtonBox::Ok); });
    editAdvancedSettings(w, [](QWidget* dialog) { dialog->close(); });
    // The wash is for this run only: chosen, it stays chosen, and nothing is stored.
    editAdvancedSettings(w, [](QWidget* dialog) {
        dialog->findChild<QCheckBox*>("blockunterschiede")->setChecked(true);
        press(dialog, QDialogButtonBox::Ok);
    });
    editAdvancedSettings(w, [](QWidget* dialog) {
        EXPECT_TRUE(dialog->findChild<QCheckBox*>("blockunterschiede")->isChecked());
        press(dialog, QDialogButtonBox::Cancel);
    });
    EXPECT_EQ(w.settings(), classic);
}

TEST(AdvancedSettings, AStoredMaskIsCountedAndCanBeCleared) {
    Window w("[Erweitert]\r\nmaske = " + std::string(299, '0') + "F\r\n");
    editAdvancedSettings(w, [](QWidget* dialog) {
        bool counted = false;
        for (QLabel* label : dialog->findChildren<QLabel*>())
            counted |= label->text().contains("4 von 1200 Blöcken");
        EXPECT_TRUE(counted);
        for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
            if (button->text() == "Maske löschen")
                button->click();
        }
        press(dialog, QDialogButtonBox::Ok);
    });
    EXPECT_EQ(w.settings(),
              "[Erweitert]\r\nmaske = \r\nvorlauf = 0\r\nlichtausgleich = 0\r\n"
              "kameraalarm = 0\r\nspeichergrenze = 0\r\nbenachrichtigung = 0\r\n"
              "referenz = 0\r\nreferenzzeit = 10\r\nautostart = 0\r\n");
}

// On a camera that delivers, the wash shows while the dialog is held open, goes when it is
// cancelled, and stays after it when chosen; the background learns meanwhile.
TEST(AdvancedSettings, TheWashShowsWhileTheDialogIsOpenAndAfterItWhenChosen) {
    ASSERT_TRUE(loadCaptureLibrary());
    Window w("[Erweitert]\r\nreferenz = 1\r\n");
    ASSERT_TRUE(w.camera.connectSource({"Demo", ""}));
    const LiveView* view = w.window.statusDisplay().liveView();
    w.window.startFrameTimer();
    auto washed = [view] {
        return QTest::qWaitFor([view] { return view->showsDifferenceWash(); }, 10000);
    };
    editAdvancedSettings(w, [&](QWidget* dialog) {
        EXPECT_TRUE(washed());
        press(dialog, QDialogButtonBox::Cancel);
    });
    EXPECT_FALSE(view->showsDifferenceWash());
    editAdvancedSettings(w, [](QWidget* dialog) {
        dialog->findChild<QCheckBox*>("blockunterschiede")->setChecked(true);
        press(dialog, QDialogButtonBox::Ok);
    });
    EXPECT_TRUE(washed());
    w.window.stopWatching();
    w.camera.disconnectSource();
    EXPECT_EQ(w.settings(), "[Erweitert]\r\nreferenz = 1\r\n");
}

// A clock whose milliseconds the test sets, telling the window when it did.
struct SetClock {
    std::int64_t ticks = 0;
    MainLoopClock clock() {
        return {::localNow, [this] { return ticks; }};
    }
};

TEST(CameraAlarm, NoPictureForTheSetTimeIsShownAcrossTheLivePictureOnce) {
    SetClock clock;
    // The window's camera never starts: it delivers nothing.
    Window w("[Erweitert]\r\nkameraalarm = 2\r\n", clock.clock());
    const LiveView* view = w.window.statusDisplay().liveView();
    w.window.startFrameTimer();
    clock.ticks = 1999;
    w.window.clockChanged();
    EXPECT_FALSE(view->showsCameraLost());
    clock.ticks = 2000;
    w.window.clockChanged();
    EXPECT_TRUE(view->showsCameraLost());
    w.window.stopWatching();
}

TEST(CameraAlarm, OffByDefault) {
    SetClock clock;
    Window w({}, clock.clock());
    w.window.startFrameTimer();
    clock.ticks = 1'000'000;
    w.window.clockChanged();
    EXPECT_FALSE(w.window.statusDisplay().liveView()->showsCameraLost());
    w.window.stopWatching();
    EXPECT_EQ(w.settings(), "");
}

}  // namespace

namespace {

// The mask editor of the live picture, worked with the mouse and the keyboard as a user would.
struct MaskEditing {
    Window& w;
    QWidget* editor = nullptr;

    explicit MaskEditing(Window& window) : w(window) {
        openLiveViewMenu(w, QContextMenuEvent::Mouse);
        chooseFromMenu("Erkennungsmaske bearbeiten");
        for (auto* shown : w.window.statusDisplay().liveView()->findChildren<MaskEditor*>()) {
            if (!shown->isHidden())
                editor = shown;
        }
    }
    void send(QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
        QMouseEvent event(type, at, editor->mapToGlobal(at), button, held, Qt::NoModifier);
        QApplication::sendEvent(editor, &event);
    }
    // A drag from one point of the picture to another, in small steps.
    void drag(QPoint from, QPoint to, Qt::MouseButton button = Qt::LeftButton) {
        send(QEvent::MouseButtonPress, from, button, button);
        for (int i = 1; i <= 4; ++i)
            send(QEvent::MouseMove, from + (to - from) * i / 4, Qt::NoButton, button);
        send(QEvent::MouseButtonRelease, to, button, Qt::NoButton);
    }
    void key(Qt::Key key) { QTest::keyClick(editor, key); }
    std::string storedMask() const {
        const std::string settings = w.settings();
        const auto at = settings.find("maske = ");
        return at == std::string::npos ? "none"
                                       : settings.substr(at + 8, settings.find('\r', at) - at - 8);
    }
};

// The stored text with the given blocks (column, row from the bottom, as the camera sees them).
std::string maskWith(std::initializer_list<std::pair<int, int>> blocks) {
    BlockMask mask;
    for (const auto& [column, row] : blocks)
        mask[blockIndex(column, row)] = true;
    return maskText(mask);
}

TEST(MaskEditor, ADragIgnoresTheBlocksItPassesAndEnterKeepsThem) {
    Window w("[Optionen]\r\nhspiegeln = 0\r\n");
    MaskEditing editing(w);
    ASSERT_NE(editing.editor, nullptr);
    // The picture shows each block as 8 x 8 pixels; the top row is block row 29.
    editing.drag(QPoint(3, 3), QPoint(27, 3));
    editing.key(Qt::Key_Return);
    EXPECT_EQ(editing.storedMask(), maskWith({{0, 29}, {1, 29}, {2, 29}, {3, 29}}));
    EXPECT_EQ(w.state.holdOffFrames, 1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(w.window.statusDisplay().liveView()->findChild<MaskEditor*>(), nullptr);
}

TEST(MaskEditor, MirroredTheMaskIsStoredAsTheCameraSeesTheScene) {
    Window w;  // mirroring is on by default
    MaskEditing editing(w);
    editing.drag(QPoint(2, 236), QPoint(10, 236));  // the bottom left of the picture
    editing.key(Qt::Key_Enter);
    EXPECT_EQ(editing.storedMask(), maskWith({{39, 0}, {38, 0}}));
}

TEST(MaskEditor, TheRightButtonOrASecondPassWatchesAgainAndEscapeKeepsTheOldMask) {
    Window w("[Optionen]\r\nhspiegeln = 0\r\n[Erweitert]\r\nmaske = " +
             maskWith({{0, 29}, {1, 29}, {2, 29}, {5, 29}}) + "\r\n");
    const std::string before = w.settings();
    MaskEditing cancelled(w);
    cancelled.drag(QPoint(3, 3), QPoint(60, 3), Qt::RightButton);
    cancelled.key(Qt::Key_Escape);
    EXPECT_EQ(w.settings(), before);

    MaskEditing editing(w);
    editing.drag(QPoint(3, 3), QPoint(3, 3), Qt::RightButton);  // block 0 watched again
    editing.drag(QPoint(11, 3), QPoint(19, 3));  // starts on an ignored block: 1 and 2 too
    editing.drag(QPoint(3, 12), QPoint(3, 12));  // one block of row 28 ignored
    editing.key(Qt::Key_Return);
    EXPECT_EQ(editing.storedMask(), maskWith({{5, 29}, {0, 28}}));
}

TEST(MaskEditor, AClickOutsideThePictureEndsTheEditingAndKeepsTheMask) {
    Window w("[Optionen]\r\nhspiegeln = 0\r\n");
    MaskEditing editing(w);
    editing.drag(QPoint(300, 100), QPoint(316, 100));
    QWidget* elsewhere = w.g.widget(Gadget::brightnessSlider);
    QTest::mouseClick(elsewhere, Qt::LeftButton);
    EXPECT_EQ(editing.storedMask(), maskWith({{37, 17}, {38, 17}, {39, 17}}));
}

}  // namespace
