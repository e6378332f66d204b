#include "app/mainwindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTimeEdit>
#include <QTimer>
#include <QTreeWidget>

#include <sys/stat.h>

#include <gtest/gtest.h>
#include <QTest>

#include "outputs/eventlog.h"
#include "testwindow.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <unistd.h>

#include "app/gadgetlayout.h"
#include "app/gadgettable.h"
#include "app/statusdisplay.h"
#include "media/camera.h"
#include "media/camerasources.h"
#include "settings/settingsfolder.h"

namespace {

QWidget* gadgetOf(const Window& w, const GadgetLayout& layout) {
    return w.g.widget(layout.number);
}

// Only these hold other gadgets: the scroll area its panel, the panel its pages' gadgets.
bool holdsGadgets(GadgetKind kind) {
    return kind == GadgetKind::ScrollArea || kind == GadgetKind::TabPanel;
}

TEST(MainWindowLayout, AFixedWindowWithTheVersionInItsTitle) {
    Window w;
    EXPECT_EQ(w.window.size(), QSize(800, 480));
    EXPECT_EQ(w.window.windowTitle(), "Sentello Version 1.17");
    EXPECT_FALSE(w.window.windowFlags() & Qt::WindowMaximizeButtonHint);
}

TEST(MainWindowLayout, EveryGadgetLiesInsideItsWindowOrPage) {
    Window w;
    w.window.show();
    auto* panel = w.g.as<QTabWidget>(Gadget::settingsPanel);
    for (const GadgetLayout& layout : mainWindowLayout()) {
        SCOPED_TRACE(static_cast<int>(layout.number));
        QWidget* gadget = gadgetOf(w, layout);
        QWidget* parent = gadget->parentWidget();
        switch (layout.parent) {
            case GadgetParent::Window:
                EXPECT_EQ(parent, &w.window);
                break;
            case GadgetParent::SettingsScroll:
                // Larger than the view on purpose: it is scrolled.
                EXPECT_EQ(w.g.as<QScrollArea>(Gadget::settingsScroll)->widget(), gadget);
                continue;
            default: {
                const int page =
                    static_cast<int>(layout.parent) - static_cast<int>(GadgetParent::GeneralPage);
                EXPECT_EQ(parent, panel->widget(page));
                // A page gets its size once it is shown.
                panel->setCurrentIndex(page);
                QCoreApplication::sendPostedEvents();
            }
        }
        EXPECT_TRUE(parent->rect().contains(gadget->geometry()));
    }
}

TEST(MainWindowLayout, NoGadgetLiesOverAnother) {
    Window w;
    const std::span<const GadgetLayout> layouts = mainWindowLayout();
    for (const GadgetLayout& a : layouts) {
        for (const GadgetLayout& b : layouts) {
            if (&a == &b)
                continue;
            SCOPED_TRACE(std::to_string(static_cast<int>(a.number)) + " and " +
                         std::to_string(static_cast<int>(b.number)));
            QWidget* one = gadgetOf(w, a);
            QWidget* other = gadgetOf(w, b);
            if (one->isAncestorOf(other)) {
                EXPECT_TRUE(holdsGadgets(a.kind));
            }
            if (one->parentWidget() == other->parentWidget()) {
                EXPECT_FALSE(one->geometry().intersects(other->geometry()));
            }
        }
    }
}

// Tab moves the focus through the gadgets in creation order.
TEST(MainWindowLayout, FocusFollowsTheCreationOrder) {
    Window w;
    const std::span<const GadgetLayout> layouts = mainWindowLayout();
    std::vector<int> focusOrder;
    for (QWidget* next = w.window.nextInFocusChain(); next != &w.window;
         next = next->nextInFocusChain()) {
        for (int i = 0; i < int(layouts.size()); ++i) {
            if (gadgetOf(w, layouts[i]) == next && next->focusPolicy() & Qt::TabFocus)
                focusOrder.push_back(i);
        }
    }
    EXPECT_GT(focusOrder.size(), 30u);
    EXPECT_TRUE(std::is_sorted(focusOrder.begin(), focusOrder.end()));
}

TEST(MainWindowLayout, RangesStartValuesAndPanels) {
    Window w;
    struct Range {
        Gadget gadget;
        int minimum, maximum, start;
    };
    for (const Range& r :
         {Range{Gadget::brightnessSlider, 0, 255, 128},
          Range{Gadget::sensitivitySlider, 1, 500, 50}, Range{Gadget::triggerSlider, 1, 100, 25}}) {
        auto* slider = w.g.as<QSlider>(r.gadget);
        EXPECT_EQ(slider->minimum(), r.minimum);
        EXPECT_EQ(slider->maximum(), r.maximum);
        EXPECT_EQ(slider->value(), r.start);
    }
    EXPECT_EQ(w.g.text(Gadget::brightnessLabel), "Helligkeit: 128");
    EXPECT_EQ(w.g.text(Gadget::sensitivityLabel), "Empfindlichkeit: 50");
    EXPECT_EQ(w.g.text(Gadget::triggerLabel), "Auslöser (Prozent): 25");
    EXPECT_EQ(w.g.as<QSpinBox>(Gadget::clipLengthSpin)->minimum(), 3);
    EXPECT_EQ(w.g.as<QSpinBox>(Gadget::clipLengthSpin)->maximum(), 300);
    EXPECT_EQ(w.g.as<QSpinBox>(Gadget::waitSpin)->minimum(), 0);
    EXPECT_EQ(w.g.as<QSpinBox>(Gadget::waitSpin)->maximum(), 300);
    EXPECT_EQ(w.g.as<QProgressBar>(Gadget::levelBar)->maximum(), 100);
    EXPECT_FALSE(w.g.as<QProgressBar>(Gadget::levelBar)->isTextVisible());
    EXPECT_EQ(w.g.as<QLineEdit>(Gadget::passwordField)->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(w.g.as<QLineEdit>(Gadget::counterField)->alignment() & Qt::AlignRight);
    EXPECT_EQ(w.g.as<QTimeEdit>(Gadget::timePicker)->displayFormat(), "HH:mm");

    EXPECT_EQ(w.g.countItems(Gadget::slotTabs), 4);
    EXPECT_EQ(w.g.itemText(Gadget::slotTabs, 0), "06:00");
    EXPECT_EQ(w.g.itemText(Gadget::slotTabs, 3), "22:00");
    EXPECT_EQ(w.g.countItems(Gadget::settingsPanel), 4);
    EXPECT_EQ(w.g.itemText(Gadget::settingsPanel, 2), "Zähler");
    auto* list = w.g.as<QTreeWidget>(Gadget::videoList);
    EXPECT_EQ(list->headerItem()->text(0), "Video");
    EXPECT_EQ(list->headerItem()->text(1), "Erstellungsdatum");
    EXPECT_EQ(list->columnWidth(0), 640);
    EXPECT_EQ(list->columnWidth(1), 120);

    // The panel is larger than its view, so both scroll bars are there.
    auto* scroll = w.g.as<QScrollArea>(Gadget::settingsScroll);
    EXPECT_EQ(scroll->widget()->size(), QSize(368, 480));
    EXPECT_EQ(scroll->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(scroll->verticalScrollBar()->singleStep(), 1);
}

TEST(MainWindowLayout, FontsAreTahomaSizedByTheScreen) {
    Window w;
    QWidget* recordMode = w.g.widget(Gadget::recordModeCheck);
    QWidget* label = w.g.widget(Gadget::cameraDialogsLabel);
    const int dpi = static_cast<int>(w.window.logicalDpiX());
    EXPECT_EQ(recordMode->font().pointSize(), 768 / dpi);
    EXPECT_TRUE(recordMode->font().bold());
    EXPECT_EQ(label->font().pointSize(), 768 / dpi);
    EXPECT_FALSE(label->font().bold());
    if (std::filesystem::exists("/usr/share/wine/fonts/tahoma.ttf")) {
        EXPECT_EQ(QFontInfo(label->font()).family(), "Tahoma");
    }
}

TEST(MainWindowLayout, TextsFitTheirGadgets) {
    if (!std::filesystem::exists("/usr/share/wine/fonts/tahoma.ttf")) {
        GTEST_SKIP() << "the sizes are made for Tahoma";
    }
    Window w;
    for (const GadgetLayout& layout : mainWindowLayout()) {
        SCOPED_TRACE(static_cast<int>(layout.number));
        QWidget* gadget = gadgetOf(w, layout);
        const QString text = w.g.text(layout.number);
        const int textWidth = gadget->fontMetrics().horizontalAdvance(text);
        if (auto* box = qobject_cast<QCheckBox*>(gadget)) {
            const QStyle* style = box->style();
            EXPECT_LE(style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, box) +
                          style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, box) +
                          textWidth,
                      box->width());
        } else if (auto* button = qobject_cast<QPushButton*>(gadget)) {
            EXPECT_LE(textWidth + 4, button->width());
        } else if (auto* label = qobject_cast<QLabel*>(gadget)) {
            EXPECT_LE(label->heightForWidth(label->width()), label->height());
        }
    }
    w.window.show();  // tabs are laid out for the shown size
    auto* slotStrip = w.g.as<QTabBar>(Gadget::slotTabs);
    for (int tab = 0; tab < slotStrip->count(); ++tab) {
        EXPECT_LE(
            slotStrip->fontMetrics().horizontalAdvance(slotStrip->tabText(tab)) +
                slotStrip->style()->pixelMetric(QStyle::PM_TabBarTabHSpace, nullptr, slotStrip),
            slotStrip->tabRect(tab).width());
    }
}

TEST(MainWindowDisplay, LevelMarkersAndIndicatorFollowTheRun) {
    Window w;
    StatusDisplay& display = w.window.statusDisplay();
    display.showChangeLevel(100.0f * 299 / 1200, 25);
    EXPECT_EQ(w.g.state(Gadget::levelBar), 25);
    EXPECT_EQ(w.g.widget(Gadget::upperMarker)->geometry(), QRect(129, 248, 3, 8));
    EXPECT_EQ(w.g.widget(Gadget::lowerMarker)->geometry(), QRect(129, 272, 3, 8));
    display.showChangeLevel(100.0f * 290 / 1200, 1);
    EXPECT_EQ(w.g.state(Gadget::levelBar), 24);
    EXPECT_EQ(w.g.widget(Gadget::upperMarker)->x(), 7);
    display.showChangeLevel(0.0f, 100);
    EXPECT_EQ(w.g.widget(Gadget::lowerMarker)->x(), 510);

    auto indicator = [&] {
        return w.g.widget(Gadget::triggerIndicator)->palette().color(QPalette::Window);
    };
    display.showTriggerState(true);
    EXPECT_EQ(indicator(), QColor(255, 0, 0));
    display.showTriggerState(false);
    EXPECT_EQ(indicator(), QColor(0, 187, 0));
}

// Answers the next modal dialog: a file requester is cancelled, a question gets `button`.
void answerNextDialog(QMessageBox::StandardButton button = QMessageBox::No) {
    QTimer::singleShot(0, [button] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            box->button(button)->click();
        } else if (auto* requester = qobject_cast<QFileDialog*>(modal)) {
            requester->reject();
        }
    });
}

TEST(MainWindowEvents, SlidersRelabelAndHoldOff) {
    Window w;
    w.state.holdOffFrames = 40;
    w.g.as<QSlider>(Gadget::sensitivitySlider)->setValue(77);
    EXPECT_EQ(w.g.text(Gadget::sensitivityLabel), "Empfindlichkeit: 77");
    EXPECT_EQ(w.state.holdOffFrames, 1);
    w.g.as<QSlider>(Gadget::triggerSlider)->setValue(100);
    EXPECT_EQ(w.g.text(Gadget::triggerLabel), "Auslöser (Prozent): 100");
    const DetectionValues values = w.window.detectionValues();
    EXPECT_EQ(values.sensitivity, 77);
    EXPECT_EQ(values.trigger, 100);
    EXPECT_EQ(values.brightness, 128);
    EXPECT_TRUE(values.mirror);
    w.g.as<QCheckBox>(Gadget::mirrorCheck)->click();
    EXPECT_FALSE(w.window.detectionValues().mirror);
}

// The wait is in seconds, and the detection runs 100 times a second.
TEST(MainWindowEvents, RecordModeHoldsOffForTheWait) {
    Window w;
    w.g.setState(Gadget::waitSpin, 3);
    w.g.as<QCheckBox>(Gadget::recordModeCheck)->click();
    EXPECT_EQ(w.state.holdOffFrames, 300);
    w.g.setState(Gadget::waitSpin, 0);
    w.state.holdOffFrames = 5;
    w.g.as<QCheckBox>(Gadget::recordModeCheck)->click();
    EXPECT_EQ(w.state.holdOffFrames, 0);
}

TEST(MainWindowEvents, UploadQuestionAnsweredNoUnchecksTheBox) {
    Window w;
    answerNextDialog(QMessageBox::No);
    w.g.as<QCheckBox>(Gadget::uploadCheck)->click();
    EXPECT_EQ(w.g.state(Gadget::uploadCheck), 0);
    EXPECT_EQ(w.state.holdOffFrames, 1);

    answerNextDialog(QMessageBox::Yes);
    w.g.as<QCheckBox>(Gadget::uploadCheck)->click();
    EXPECT_EQ(w.g.state(Gadget::uploadCheck), 1);
    // Unchecking asks nothing but still holds off.
    w.state.holdOffFrames = 0;
    w.g.as<QCheckBox>(Gadget::uploadCheck)->click();
    EXPECT_EQ(w.g.state(Gadget::uploadCheck), 0);
    EXPECT_EQ(w.state.holdOffFrames, 1);
}

TEST(MainWindowEvents, CancelledRequesterKeepsTheFieldButHoldsOff) {
    Window w;
    w.g.setText(Gadget::soundFileField, "/home/alarm.wav");
    answerNextDialog();
    w.g.as<QPushButton>(Gadget::soundFileButton)->click();
    EXPECT_EQ(w.g.text(Gadget::soundFileField), "/home/alarm.wav");
    EXPECT_EQ(w.state.holdOffFrames, 1);
}

// A file whose name would carry further keys into the settings is refused with a message.
TEST(MainWindowEvents, ARequesterRefusesANameWithALineBreak) {
    Window w;
    const std::string name = "alarm\r\nupload = 1\r\nserver = evil.example.org\r\nx.wav";
    std::ofstream(w.folder / name) << "RIFF";
    w.g.setText(Gadget::soundFileField, "/home/alarm.wav");
    QString told;
    QTimer::singleShot(0, [&] {
        auto* requester = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(requester, nullptr);
        requester->setDirectory(QString::fromStdString(w.folder.path().string()));
        requester->selectFile(QString::fromStdString((w.folder / name).string()));
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            told = box->text();
            box->accept();
        });
        QMetaObject::invokeMethod(requester, "accept");
    });
    w.g.as<QPushButton>(Gadget::soundFileButton)->click();
    EXPECT_TRUE(told.contains("Zeilenumbruch")) << told.toStdString();
    EXPECT_EQ(w.g.text(Gadget::soundFileField), "/home/alarm.wav");
    EXPECT_EQ(w.state.holdOffFrames, 1);
}

TEST(MainWindowEvents, SlidersSaveTheSelectedSlotAndTabsLoadIt) {
    Window w;
    EXPECT_FALSE(std::filesystem::exists(w.settingsFile)) << "loading writes nothing";
    w.g.setState(Gadget::slotTabs, 2);
    w.g.as<QSlider>(Gadget::triggerSlider)->setValue(40);
    EXPECT_NE(w.settings().find("ausloeser2 = 40\r\n"), std::string::npos) << w.settings();

    w.state.holdOffFrames = 0;
    w.g.setState(Gadget::slotTabs, 0);
    EXPECT_EQ(w.state.holdOffFrames, 1);
    EXPECT_EQ(w.g.state(Gadget::triggerSlider), 25);
    EXPECT_EQ(w.g.text(Gadget::triggerLabel), "Auslöser (Prozent): 25");
    EXPECT_EQ(w.settings().find("ausloeser0"), std::string::npos) << "a tab change saves nothing";
    w.g.setState(Gadget::slotTabs, 2);
    EXPECT_EQ(w.g.state(Gadget::triggerSlider), 40);
}

TEST(MainWindowEvents, ResetAsksFirst) {
    Window w;
    w.g.setItemText(Gadget::slotTabs, 1, "12:00");
    w.g.as<QSlider>(Gadget::brightnessSlider)->setValue(200);
    w.state.holdOffFrames = 0;
    answerNextDialog(QMessageBox::No);
    w.g.as<QPushButton>(Gadget::resetButton)->click();
    EXPECT_EQ(w.g.itemText(Gadget::slotTabs, 1), "12:00");
    EXPECT_EQ(w.state.holdOffFrames, 0);

    answerNextDialog(QMessageBox::Yes);
    w.g.as<QPushButton>(Gadget::resetButton)->click();
    EXPECT_EQ(w.g.itemText(Gadget::slotTabs, 1), "11:00");
    EXPECT_EQ(w.g.state(Gadget::brightnessSlider), 128);
    EXPECT_EQ(w.g.text(Gadget::brightnessLabel), "Helligkeit: 128");
    EXPECT_EQ(w.state.holdOffFrames, 1);
    EXPECT_NE(w.settings().find("ausloeser3 = 25\r\n"), std::string::npos);
}

TEST(MainWindowEvents, TakeTimeCorrectsCollisionsAndTellsSo) {
    Window w;
    w.g.setState(Gadget::slotTabs, 1);
    w.g.setText(Gadget::timePicker, "05:30");
    w.state.holdOffFrames = 0;
    answerNextDialog(QMessageBox::Ok);
    w.g.as<QPushButton>(Gadget::takeTimeButton)->click();
    EXPECT_EQ(w.g.itemText(Gadget::slotTabs, 1), "06:01");
    EXPECT_EQ(w.state.holdOffFrames, 0) << "only the tab text changes";
    EXPECT_FALSE(std::filesystem::exists(w.settingsFile)) << "the time is saved at shutdown";
}

TEST(MainWindowVideoList, ShowsTheProgramsClipsOfTheFolder) {
    Window w;
    const auto put = [&](const std::string& name) { std::ofstream(w.folder / name) << "x"; };
    put("Video_Sentello_20110304211503.avi");
    put("Video_Sentello_20110304211600.AVI");
    put("holiday.avi");
    put("Video_Sentello_20110304211700.mp4");
    put("video_sentello_20110304211800.avi");
    std::filesystem::create_directory(w.folder / "Video_Sentello_folder.avi");
    const auto touched = std::filesystem::last_write_time(w.folder / "holiday.avi");

    w.window.fillVideoList();

    const QString folder = QString::fromStdString(w.folder.path().string() + "/");
    QStringList rows;
    for (int row = 0; row < w.g.countItems(Gadget::videoList); ++row)
        rows.append(w.g.itemText(Gadget::videoList, row).section(u'\n', 0, 0));
    rows.sort();
    EXPECT_EQ(rows, (QStringList{folder + "Video_Sentello_20110304211503.avi",
                                 folder + "Video_Sentello_20110304211600.AVI"}));
    EXPECT_EQ(w.g.state(Gadget::videoList), -1);
    // The date column holds a local date and time in the list's format.
    const QString date = w.g.itemText(Gadget::videoList, 0).section(u'\n', 1);
    EXPECT_TRUE(QRegularExpression("^\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d$")
                    .match(date)
                    .hasMatch())
        << date.toStdString();
    EXPECT_EQ(std::filesystem::last_write_time(w.folder / "holiday.avi"), touched);
}

// Before a clip starts the oldest clips go until the others take no more than the limit; the
// new one stays, whatever it takes, and each deletion is in the log.
TEST(MainWindowVideoList, TheStorageLimitDeletesTheOldestClipsFirst) {
    Window w("[Erweitert]\r\nspeichergrenze = 1\r\n");
    const std::vector<std::string> old{"Video_Sentello_20110304211503.avi",
                                       "Video_Sentello_20110304211600.avi",
                                       "Video_Sentello_20110304211700.avi"};
    // Made one after the other, so each is younger than the one before.
    for (const std::string& name : old)
        std::ofstream(w.folder / name) << std::string(600 * 1024, 'x');
    w.window.fillVideoList();
    ASSERT_EQ(w.g.countItems(Gadget::videoList), 3);
    w.g.setState(Gadget::recordModeCheck, 1);
    w.window.runTriggerActions();

    EXPECT_FALSE(std::filesystem::exists(w.folder / old[0]));
    EXPECT_FALSE(std::filesystem::exists(w.folder / old[1]));
    EXPECT_TRUE(std::filesystem::exists(w.folder / old[2]));
    QStringList rows;
    for (int row = 0; row < w.g.countItems(Gadget::videoList); ++row)
        rows.append(w.g.itemText(Gadget::videoList, row).section(u'\n', 0, 0));
    EXPECT_FALSE(rows.contains(QString::fromStdString((w.folder / old[0]).string())));
    EXPECT_TRUE(rows.contains(QString::fromStdString((w.folder / old[2]).string())));
    EXPECT_TRUE(rows.contains(QString::fromStdString(w.window.triggerActions().lastVideoPath())));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return recentEvents((w.folder / "Sentello.log").string(), 10).size() >= 2; }, 20000));
    const std::vector<std::string> events = recentEvents((w.folder / "Sentello.log").string(), 10);
    EXPECT_NE(events.back().find("\tVideo gelöscht\t" + old[0] + "\tSpeichergrenze"),
              std::string::npos)
        << events.back();
}

TEST(MainWindowVideoList, AFolderThatCannotBeReadGivesAnEmptyList) {
    DetectionState state;
    Camera camera;
    MainWindow window{state};
    window.createGadgets(camera, "/nonexistent/Sentello.prefs", "/nonexistent/folder/");
    window.fillVideoList();
    EXPECT_EQ(window.gadgets().countItems(Gadget::videoList), 0);
}

// A window with one clip row, a red picture of 160 x 120 made by GStreamer.
struct WindowWithClip : Window {
    std::string clip = (folder / "Video_Sentello_20110304211503.avi").string();

    WindowWithClip() {
        const int made = QProcess::execute(
            "gst-launch-1.0",
            {"-q", "videotestsrc", "num-buffers=50", "pattern=red", "!",
             "video/x-raw,width=160,height=120,framerate=25/1", "!", "jpegenc", "!", "avimux", "!",
             "filesink", QString::fromStdString("location=" + clip)});
        EXPECT_EQ(made, 0);
        window.fillVideoList();
        window.show();
    }

    void selectClip() { g.setState(Gadget::videoList, 0); }
};

// The desktop's opener, replaced by a script that notes what it was asked to open.
struct FakeOpener {
    std::string savedPath = getenv("PATH") ? getenv("PATH") : "";
    std::filesystem::path note;

    explicit FakeOpener(const TempFolder& folder) : note(folder / "opened") {
        const auto opener = folder / "xdg-open";
        // Written whole under another name first, so that nobody reads it half written.
        std::ofstream(opener) << "#!/bin/sh\nprintf '%s' \"$1\" > \"" << note.string()
                              << ".part\" && mv \"" << note.string() << ".part\" \""
                              << note.string() << "\"\n";
        std::filesystem::permissions(opener, std::filesystem::perms::owner_all);
        setenv("PATH", (folder.path().string() + ":" + savedPath).c_str(), 1);
    }
    ~FakeOpener() { setenv("PATH", savedPath.c_str(), 1); }

    std::string opened() const {
        if (!QTest::qWaitFor([&] { return std::filesystem::exists(note); }, 20000))
            return {};
        std::ifstream in(note);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
};

QWidget* playerWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->windowTitle().startsWith("Video "))
            return widget;
    }
    return nullptr;
}

TEST(MainWindowVideoList, WithoutOwnPlayerTheDesktopOpensTheClip) {
    WindowWithClip w;
    const FakeOpener opener(w.folder);
    w.selectClip();
    w.window.playSelectedVideo();
    EXPECT_EQ(opener.opened(), w.clip);
}

TEST(MainWindowVideoList, AnExecutableClipIsOpenedNeverRun) {
    Window w;
    const std::string clip = (w.folder / "Video_Sentello_20110304211503.avi").string();
    const std::string ran = (w.folder / "ran").string();
    std::ofstream(clip) << "#!/bin/sh\ntouch '" << ran << "'\n";
    std::filesystem::permissions(clip, std::filesystem::perms::owner_all);
    w.window.fillVideoList();
    const FakeOpener opener(w.folder);
    w.g.setState(Gadget::videoList, 0);
    w.window.playSelectedVideo();
    EXPECT_EQ(opener.opened(), clip);
    EXPECT_FALSE(std::filesystem::exists(ran));
}

TEST(MainWindowVideoList, NoSelectedRowPlaysNothing) {
    WindowWithClip w;
    w.g.setState(Gadget::ownPlayerCheck, 1);
    const FakeOpener opener(w.folder);
    w.window.playSelectedVideo();
    EXPECT_EQ(playerWindow(), nullptr);
    w.g.setState(Gadget::ownPlayerCheck, 0);
    w.window.playSelectedVideo();
    QCoreApplication::processEvents();
    EXPECT_FALSE(std::filesystem::exists(opener.note));
}

TEST(MainWindowVideoList, OwnPlayerShowsTheClipUntilAnyWindowIsClosed) {
    WindowWithClip w;
    w.g.setState(Gadget::ownPlayerCheck, 1);
    w.selectClip();
    bool sawPlayer = false;
    bool sawRed = false;
    // The player comes once the clip has loaded.
    QTimer poll;
    poll.callOnTimeout([&] {
        QWidget* player = playerWindow();
        if (!player)
            return;
        poll.stop();
        sawPlayer = true;
        EXPECT_EQ(player->windowTitle().toStdString(), "Video " + w.clip);
        EXPECT_EQ(player->size(), QSize(160, 120));
        const QPoint offCentre = player->frameGeometry().center() -
                                 QGuiApplication::primaryScreen()->availableGeometry().center();
        // Within the few pixels of a window frame.
        EXPECT_LE(offCentre.manhattanLength(), 6);
        sawRed = QTest::qWaitFor(
            [&] {
                const QColor pixel = player->grab().toImage().pixelColor(80, 60);
                return pixel.red() > 200 && pixel.green() < 60 && pixel.blue() < 60;
            },
            20000);
        // Input to the main window is not taken, and closing it closes the player only.
        QTest::mouseClick(w.g.widget(Gadget::mirrorCheck), Qt::LeftButton);
        w.window.close();
    });
    poll.start(20);
    const bool mirrored = w.window.detectionValues().mirror;
    w.window.playSelectedVideo();
    EXPECT_TRUE(sawPlayer);
    EXPECT_TRUE(sawRed);
    EXPECT_EQ(playerWindow(), nullptr);
    EXPECT_TRUE(w.window.isVisible());
    EXPECT_EQ(w.window.detectionValues().mirror, mirrored);
}

TEST(MainWindowVideoList, OwnPlayerOpensNoWindowForAFifoNamedLikeAClip) {
    WindowWithClip w;
    w.g.setState(Gadget::ownPlayerCheck, 1);
    // Nobody ever writes into it: a player that opened it would wait for good.
    std::filesystem::remove(w.clip);
    ASSERT_EQ(::mkfifo(w.clip.c_str(), 0600), 0);
    w.selectClip();
    w.window.playSelectedVideo();
    EXPECT_EQ(playerWindow(), nullptr);
}

TEST(MainWindowVideoList, OwnPlayerOpensNoWindowForAFileItCannotPlay) {
    WindowWithClip w;
    w.g.setState(Gadget::ownPlayerCheck, 1);
    std::ofstream(w.clip, std::ios::trunc) << "not a clip";
    w.selectClip();
    w.window.playSelectedVideo();
    EXPECT_EQ(playerWindow(), nullptr);
}

TEST(MainWindowFrameTimer, NoFrameIsComparedWhileAClipIsWritten) {
    ASSERT_TRUE(loadCaptureLibrary());
    Window w;
    ASSERT_TRUE(w.camera.connectSource(
        {"ball", "videotestsrc is-live=true pattern=ball ! video/x-raw,width=160,height=120", {}}));
    PictureCounter pictures(w.camera);
    w.window.startFrameTimer();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.state.warmUpFrames >= 4; }, 20000));

    w.state.recordingActive = true;
    const BlockGrid before = w.state.blockReference;
    const int picturesBefore = pictures.count;
    ASSERT_TRUE(QTest::qWaitFor([&] { return pictures.count >= picturesBefore + 20; }, 20000));
    EXPECT_EQ(w.state.blockReference, before);

    w.state.recordingActive = false;
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.state.blockReference != before; }, 20000));
}

TEST(MainWindowCameraDialogs, CompressionIsKeptInItsOwnGroupAndHoldsOff) {
    Window w;
    QTimer::singleShot(0, [] {
        QWidget* dialog = QApplication::activeModalWidget();
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), "Videokompression");
        dialog->findChild<QComboBox*>()->setCurrentIndex(1);
        dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    });
    w.state.holdOffFrames = 0;
    w.g.as<QPushButton>(Gadget::compressionButton)->click();
    EXPECT_EQ(w.state.holdOffFrames, 1);
    EXPECT_EQ(w.settings(), "[Kamera]\r\ncodec = mpeg4\r\nqualitaet = 85\r\n");
}

TEST(MainWindowCameraDialogs, DisplayOnlyHoldsOff) {
    Window w;
    w.state.holdOffFrames = 0;
    w.g.as<QPushButton>(Gadget::displayButton)->click();
    EXPECT_EQ(w.state.holdOffFrames, 1);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(w.settings(), "");
}

QMenu* visibleMenu() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* menu = qobject_cast<QMenu*>(widget); menu && menu->isVisible())
            return menu;
    }
    return nullptr;
}

void chooseFromMenu(const QString& text) {
    QMenu* menu = visibleMenu();
    ASSERT_NE(menu, nullptr);
    for (QAction* action : menu->actions()) {
        if (action->text() == text)
            action->trigger();
    }
    menu->close();
}

TEST(MainWindowVideoListMenu, OnlyForASelectedRow) {
    WindowWithClip w;
    w.state.holdOffFrames = 0;
    w.window.showVideoListMenu();
    EXPECT_EQ(visibleMenu(), nullptr);
    EXPECT_EQ(w.state.holdOffFrames, 0);

    w.selectClip();
    w.window.showVideoListMenu();
    QMenu* menu = visibleMenu();
    ASSERT_NE(menu, nullptr);
    QStringList items;
    for (QAction* action : menu->actions())
        items.append(action->isSeparator() ? "-" : action->text());
    EXPECT_EQ(items,
              (QStringList{"Video abspielen", "-", "Video löschen", "Ordner mit Videos öffnen"}));
    EXPECT_EQ(w.state.holdOffFrames, 1);
    menu->close();
}

TEST(MainWindowVideoListMenu, DeleteRemovesFileAndRowWithoutAsking) {
    WindowWithClip w;
    w.selectClip();
    w.state.holdOffFrames = 0;
    w.window.showVideoListMenu();
    w.state.holdOffFrames = 0;
    chooseFromMenu("Video löschen");
    EXPECT_FALSE(std::filesystem::exists(w.clip));
    EXPECT_EQ(w.g.countItems(Gadget::videoList), 0);
    EXPECT_EQ(w.state.holdOffFrames, 0);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    // In the log as the storage limit's deletions are, by the user's hand.
    const std::string log = (w.folder / "Sentello.log").string();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !recentEvents(log, 10).empty(); }, 20000));
    const std::vector<std::string> events = recentEvents(log, 10);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_TRUE(
        events[0].ends_with("\tVideo gelöscht\tVideo_Sentello_20110304211503.avi\tvon Hand"))
        << events[0];
}

TEST(MainWindowVideoListMenu, RowGoesEvenWhenTheFileIsGoneAlready) {
    WindowWithClip w;
    std::filesystem::remove(w.clip);
    w.selectClip();
    w.window.showVideoListMenu();
    chooseFromMenu("Video löschen");
    EXPECT_EQ(w.g.countItems(Gadget::videoList), 0);
    // Nothing was deleted: the log says nothing of it. A line would have been written by now,
    // as the next one is.
    w.window.watchEvents().report({.kind = WatchEvent::Kind::ProgramEnd});
    const std::string log = (w.folder / "Sentello.log").string();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !recentEvents(log, 10).empty(); }, 20000));
    const std::vector<std::string> events = recentEvents(log, 10);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_TRUE(events[0].ends_with("\tEnde")) << events[0];
}

TEST(MainWindowVideoListMenu, OpenFolderHandsTheClipsFolderToTheDesktop) {
    WindowWithClip w;
    const FakeOpener opener(w.folder);
    w.selectClip();
    w.window.showVideoListMenu();
    w.state.holdOffFrames = 0;
    chooseFromMenu("Ordner mit Videos öffnen");
    EXPECT_EQ(opener.opened(), w.folder.path().string() + "/");
    EXPECT_EQ(w.state.holdOffFrames, 1);
}

TEST(MainWindowAbout, LogoAndTextsUntilClosedWhileTheWindowWaits) {
    Window w;
    w.window.show();
    bool checked = false;
    QTimer::singleShot(0, [&] {
        QWidget* about = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->isVisible() && widget->windowTitle() == "Über Sentello:")
                about = widget;
        }
        ASSERT_NE(about, nullptr);
        checked = true;
        EXPECT_EQ(about->size(), QSize(600, 240));
        EXPECT_TRUE(about->windowFlags() & Qt::WindowStaysOnTopHint);
        EXPECT_FALSE(w.window.isEnabled());
        const QImage shown = about->grab().toImage();
        // The lens' red centre of the logo.
        EXPECT_EQ(shown.pixelColor(120, 110), QColor(0xe3, 0x3b, 0x3b));
        const auto count = [&](QRect area, QColor colour) {
            int found = 0;
            for (int y = area.top(); y <= area.bottom(); ++y) {
                for (int x = area.left(); x <= area.right(); ++x)
                    found += shown.pixelColor(x, y) == colour;
            }
            return found;
        };
        EXPECT_GT(count({264, 19, 300, 14}, QColor(255, 255, 255)), 30);
        EXPECT_GT(count({266, 21, 300, 14}, QColor(68, 68, 68)), 30);
        EXPECT_GT(count({232, 34, 200, 14}, QColor(255, 255, 255)), 30);
        EXPECT_GT(count({120, 200, 400, 14}, QColor(255, 255, 255)), 30);
        // Closing the main window closes only the About window.
        w.window.close();
    });
    w.state.holdOffFrames = 0;
    w.g.as<QPushButton>(Gadget::aboutButton)->click();
    EXPECT_TRUE(checked);
    EXPECT_TRUE(w.window.isEnabled());
    EXPECT_TRUE(w.window.isVisible());
    EXPECT_EQ(w.state.holdOffFrames, 1);
}

}  // namespace
