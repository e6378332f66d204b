// How the windows behave for a user: Qt's own texts in German, the keyboard, the bold face of
// the record-mode check box.

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <QTest>

#include <functional>

#include "app/driverchoicedialog.h"
#include "app/translations.h"
#include "app/windowplacement.h"
#include "testwindow.h"

namespace {

// Runs `answer` on the window that is active (or modal) once the next event loop runs.
void whenOpen(std::function<void(QWidget*)> answer) {
    QTimer::singleShot(0, [answer] {
        QWidget* window = QApplication::activeModalWidget();
        answer(window ? window : QApplication::activeWindow());
    });
}

QStringList texts(QWidget* window) {
    QStringList found;
    for (auto* button : window->findChildren<QAbstractButton*>())
        found << button->text().remove(u'&');
    for (auto* label : window->findChildren<QLabel*>())
        found << label->text().remove(u'&');
    return found;
}

struct GermanTexts : testing::Test {
    static void SetUpTestSuite() { installGermanTranslations(); }
};

TEST_F(GermanTexts, TheResetQuestionAsksJaOrNein) {
    Window w;
    QStringList shown;
    whenOpen([&](QWidget* question) {
        ASSERT_NE(question, nullptr);
        shown = texts(question);
        qobject_cast<QMessageBox*>(question)->button(QMessageBox::No)->click();
    });
    w.g.as<QPushButton>(Gadget::resetButton)->click();
    EXPECT_TRUE(shown.contains("Ja")) << shown.join('|').toStdString();
    EXPECT_TRUE(shown.contains("Nein")) << shown.join('|').toStdString();
}

TEST_F(GermanTexts, TheFileRequesterSpeaksGerman) {
    Window w;
    QStringList shown;
    whenOpen([&](QWidget* requester) {
        ASSERT_NE(requester, nullptr);
        shown = texts(requester);
        qobject_cast<QDialog*>(requester)->reject();
    });
    w.g.as<QPushButton>(Gadget::soundFileButton)->click();
    for (const char* text : {"Suchen in:", "Dateiname:", "Öffnen", "Abbrechen"})
        EXPECT_TRUE(shown.contains(QString::fromUtf8(text)))
            << text << " in " << shown.join('|').toStdString();
}

TEST(Keyboard, FocusMarksAreDrawnFromTheStart) {
    Window w;
    w.window.show();
    EXPECT_TRUE(w.window.testAttribute(Qt::WA_KeyboardFocusChange));
    QWidget* box = w.g.widget(Gadget::recordModeCheck);
    const QImage unfocused = box->grab().toImage();
    QApplication::setActiveWindow(&w.window);
    box->setFocus(Qt::ActiveWindowFocusReason);
    ASSERT_TRUE(box->hasFocus());
    EXPECT_NE(box->grab().toImage(), unfocused);
}

TEST(Keyboard, EnterChoosesTheSelectedCamera) {
    int chosen = 0;
    whenOpen([](QWidget* window) {
        ASSERT_NE(window, nullptr);
        auto* list = window->findChild<QListWidget*>();
        QTest::keyClick(list, Qt::Key_Down);
        QTest::keyClick(list, Qt::Key_Return);
    });
    chosen = chooseCaptureDriver(nullptr, {{"Erste", "videotestsrc"}, {"Zweite", "videotestsrc"}});
    EXPECT_EQ(chosen, 2);
}

TEST(Keyboard, EscapeClosesTheAboutWindow) {
    Window w;
    w.window.show();
    bool pressed = false;
    QTimer::singleShot(0, [&] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->isVisible() && window->windowTitle() == "Über Sentello:") {
                QApplication::setActiveWindow(window);
                QTest::keyClick(window, Qt::Key_Escape);
                pressed = true;
            }
        }
    });
    // Without the key the About window would stay open and the test would not end: close it
    // then, but fail.
    QTimer failSafe;
    failSafe.setSingleShot(true);
    QObject::connect(&failSafe, &QTimer::timeout, [] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->windowTitle() == "Über Sentello:")
                window->close();
        }
    });
    failSafe.start(5000);
    w.g.as<QPushButton>(Gadget::aboutButton)->click();
    EXPECT_TRUE(pressed);
    EXPECT_TRUE(failSafe.isActive());
}

// Dark pixels of a check box's picture: the strokes of its text.
int ink(QWidget& box) {
    const QImage picture = box.grab().toImage();
    int dark = 0;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 20; x < picture.width(); ++x)
            dark += qGray(picture.pixel(x, y)) < 96;
    }
    return dark;
}

TEST(Fonts, TheRecordModeCheckBoxIsBoldOnScreen) {
    Window w;
    auto* recordMode = w.g.as<QCheckBox>(Gadget::recordModeCheck);
    QCheckBox regular(recordMode->text(), &w.window);
    regular.setGeometry(recordMode->geometry());
    regular.setFont(w.g.widget(Gadget::mirrorCheck)->font());
    regular.setStyle(recordMode->style());
    EXPECT_GT(ink(*recordMode), ink(regular) * 13 / 10);
}

// A side window beside its owner as far as the screen has room, and always wholly on it.
TEST(WindowPlacement, BesideTheOwnerWhollyOnTheScreen) {
    const QSize log(730, 460);
    const QRect wide(0, 0, 1920, 1080);
    EXPECT_EQ(besideOwner(QRect(100, 200, 810, 510), log, wide), QRect(910, 200, 730, 460));
    EXPECT_EQ(besideOwner(QRect(1000, 200, 810, 510), log, wide), QRect(270, 200, 730, 460));
    // Too little room on either side of a window in the middle: over its right part.
    const QRect square(0, 0, 1280, 1024);
    EXPECT_EQ(besideOwner(QRect(235, 247, 810, 530), log, square), QRect(550, 247, 730, 460));
    // An owner low on the screen: up to the bottom edge.
    EXPECT_EQ(besideOwner(QRect(235, 700, 810, 300), log, square), QRect(550, 564, 730, 460));
    // A panel at the top and on the left: the area that is left.
    const QRect panels(60, 30, 964, 738);
    EXPECT_EQ(besideOwner(QRect(0, 0, 810, 510), log, panels), QRect(294, 30, 730, 460));
    // Larger than the screen: cut to it.
    EXPECT_EQ(besideOwner(QRect(0, 0, 800, 480), QSize(1000, 700), QRect(0, 0, 800, 600)),
              QRect(0, 0, 800, 600));
}

// A window that nobody answers fails its test instead of hanging it.
TEST(Watchdog, ADialogLeftOpenIsClosedAndFailsTheTest) {
    EXPECT_NONFATAL_FAILURE(
        {
            QDialog forgotten;
            forgotten.setWindowTitle(QStringLiteral("Niemand antwortet"));
            forgotten.exec();
        },
        "was left open");
}

}  // namespace
