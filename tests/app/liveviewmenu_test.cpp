// The pop-up menu of the live picture, the advanced settings it opens, and the alarm for a
// camera that delivers nothing.

#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include <gtest/gtest.h>
#include <QTest>

#include <functional>

#include "app/statusdisplay.h"
#include "testwindow.h"

namespace {

QMenu* visibleMenu() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* menu = qobject_cast<QMenu*>(widget); menu && menu->isVisible())
            return menu;
    }
    return nullptr;
}

QStringList openLiveViewMenu(Window& w, QContextMenuEvent::Reason reason) {
    LiveView* view = w.window.statusDisplay().liveView();
    QContextMenuEvent event(reason, QPoint(100, 80), view->mapToGlobal(QPoint(100, 80)));
    QApplication::sendEvent(view, &event);
    QStringList items;
    if (QMenu* menu = visibleMenu()) {
        for (QAction* action : menu->actions())
            items.append(action->text());
    }
    return items;
}

void chooseFromMenu(const QString& text) {
    QMenu* menu = visibleMenu();
    ASSERT_NE(menu, nullptr);
    menu->close();
    for (QAction* action : menu->actions()) {
        if (action->text() == text)
            action->trigger();
    }
}

// Opens "Erweiterte Einstellungen" from the menu and lets `answer` work the dialog; fails
// (instead of waiting) when no dialog comes.
void editAdvancedSettings(Window& w, std::function<void(QWidget*)> answer) {
    bool answered = false;
    QTimer::singleShot(0, [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        answered = true;
        if (!dialog) {
            ADD_FAILURE() << "no dialog";
            return;
        }
        EXPECT_EQ(dialog->windowTitle(), "Erweiterte Einstellungen");
        answer(dialog);
    });
    openLiveViewMenu(w, QContextMenuEvent::Mouse);
    chooseFromMenu("Erweiterte Einstellungen…");
    EXPECT_TRUE(answered);
}

void press(QWidget* dialog, QDialogButtonBox::StandardButton which) {
    dialog->findChild<QDialogButtonBox*>()->button(which)->click();
}

TEST(LiveViewMenu, OpensOnTheRightButtonAndTheMenuKeyAndHoldsOff) {
    Window w;
    w.state.holdOffFrames = 0;
    const QStringList expected{"Erweiterte Einstellungen…", "Alarm testen"};
    EXPECT_EQ(openLiveViewMenu(w, QContextMenuEvent::Mouse), expected);
    EXPECT_EQ(w.state.holdOffFrames, 1);
    visibleMenu()->close();
    EXPECT_EQ(openLiveViewMenu(w, QContextMenuEvent::Keyboard), expected);
    visibleMenu()->close();
    EXPECT_EQ(w.window.statusDisplay().liveView()->focusPolicy(), Qt::StrongFocus);
}

TEST(AdvancedSettings, TheChosenOptionsGoIntoTheirOwnGroupAndHoldOff) {
    Window w("[Optionen]\r\nhspiegeln = 1\r\n");
    editAdvancedSettings(w, [](QWidget* dialog) {
        dialog->findChild<QCheckBox*>()->setChecked(true);
        dialog->findChild<QSpinBox*>()->setValue(30);
        press(dialog, QDialogButtonBox::Ok);
    });
    EXPECT_EQ(w.state.holdOffFrames, 1);
    EXPECT_EQ(w.settings(),
              "[Optionen]\r\nhspiegeln = 1\r\n[Erweitert]\r\nvorlauf = 0\r\n"
              "lichtausgleich = 1\r\nmaske = \r\nkameraalarm = 30\r\n");

    // Opened again, it shows what was chosen.
    editAdvancedSettings(w, [](QWidget* dialog) {
        EXPECT_TRUE(dialog->findChild<QCheckBox*>()->isChecked());
        EXPECT_EQ(dialog->findChild<QSpinBox*>()->value(), 30);
        press(dialog, QDialogButtonBox::Cancel);
    });
}

TEST(AdvancedSettings, CancelledOrUnchangedTheFileStaysAsItIs) {
    const std::string classic = "[Optionen]\r\nhspiegeln = 0\r\n";
    Window w(classic);
    editAdvancedSettings(w, [](QWidget* dialog) {
        dialog->findChild<QCheckBox*>()->setChecked(true);
        press(dialog, QDialogButtonBox::Cancel);
    });
    editAdvancedSettings(w, [](QWidget* dialog) { press(dialog, QDialogButtonBox::Ok); });
    editAdvancedSettings(w, [](QWidget* dialog) { dialog->close(); });
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
              "kameraalarm = 0\r\n");
}

// A clock whose milliseconds the test sets; every step of the frame timer reads it once.
struct SetClock {
    std::int64_t ticks = 0;
    int reads = 0;
    MainLoopClock clock() {
        return {::localNow, [this] {
                    ++reads;
                    return ticks;
                }};
    }
    bool stepsPass(int steps = 5) {
        const int until = reads + steps;
        return QTest::qWaitFor([&] { return reads >= until; }, 10000);
    }
};

TEST(CameraAlarm, NoPictureForTheSetTimeIsShownAcrossTheLivePictureOnce) {
    SetClock clock;
    // The window's camera never starts: it delivers nothing.
    Window w("[Erweitert]\r\nkameraalarm = 2\r\n", clock.clock());
    const LiveView* view = w.window.statusDisplay().liveView();
    w.window.startFrameTimer();
    ASSERT_TRUE(clock.stepsPass());
    clock.ticks = 1999;
    ASSERT_TRUE(clock.stepsPass());
    EXPECT_FALSE(view->showsCameraLost());
    clock.ticks = 2000;
    ASSERT_TRUE(clock.stepsPass());
    EXPECT_TRUE(view->showsCameraLost());
    w.window.stopWatching();
}

TEST(CameraAlarm, OffByDefault) {
    SetClock clock;
    Window w({}, clock.clock());
    w.window.startFrameTimer();
    ASSERT_TRUE(clock.stepsPass());
    clock.ticks = 1'000'000;
    ASSERT_TRUE(clock.stepsPass());
    EXPECT_FALSE(w.window.statusDisplay().liveView()->showsCameraLost());
    w.window.stopWatching();
    EXPECT_EQ(w.settings(), "");
}

}  // namespace
