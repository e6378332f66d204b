#include "detection/frameprocessor.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QWidget>

#include <gtest/gtest.h>

#include <QTest>

#include <map>
#include <set>

#include "app/statusdisplay.h"
#include "media/camera.h"

namespace {

// A window with the gadgets the status display works on.
struct DisplayWindow {
    QWidget window;
    StatusGadgets gadgets{new QProgressBar(&window), new QFrame(&window), new QFrame(&window),
                          new QLabel(&window)};
    StatusDisplay display{&window, gadgets};

    QImage livePicture() { return display.liveView()->grab().toImage(); }
    // One run of the processor, drawn as the main window draws it; whether it triggered.
    bool run(FrameProcessor& processor, const DetectionValues& values = {}) {
        const RunResult result = processor.processFrame(values);
        display.showRun(result, values);
        return result.triggered;
    }
    QColor indicatorColour() const {
        return gadgets.triggerIndicator->palette().color(QPalette::Window);
    }
};

TEST(StatusDisplay, MarksChangedBlocksOverThePictureUntilTheNextPicture) {
    DisplayWindow w;
    ASSERT_EQ(w.display.liveView()->geometry(), QRect(4, 4, 320, 240));
    const std::vector<std::uint8_t> black(320 * 240 * 4, 0);
    w.display.showLiveFrame(black, true);
    w.display.markChangedBlock(0, 0);    // bottom left, centre at 8, 240 in the window
    w.display.markChangedBlock(39, 29);  // top right, centre at 320, 8

    const QImage image = w.livePicture();
    const QRgb yellow = qRgb(255, 255, 0);
    for (const QPoint centre : {QPoint(8, 240), QPoint(320, 8)}) {
        const QPoint inPicture = centre - QPoint(4, 4);
        for (const QPoint offset : {QPoint(0, -2), QPoint(0, 2), QPoint(-2, 0), QPoint(2, 0)}) {
            EXPECT_EQ(image.pixel(inPicture + offset), yellow) << centre.x() << "," << centre.y();
        }
        EXPECT_EQ(image.pixel(inPicture), qRgb(0, 0, 0)) << "the centre stays";
    }

    // The next run with the same picture keeps them; the next picture comes without them.
    w.display.showLiveFrame(black, false);
    EXPECT_EQ(w.livePicture().pixel(QPoint(4, 234)), yellow);
    w.display.showLiveFrame(black, true);
    EXPECT_EQ(w.livePicture().pixel(QPoint(4, 234)), qRgb(0, 0, 0));
}

// Counts the paints of a widget.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

TEST(StatusDisplay, PaintsEachPictureOnceWhateverTheRunsInBetween) {
    DisplayWindow w;
    // Beside the picture, as in the main window, so their own repaints do not reach it.
    w.gadgets.levelBar->setGeometry(0, 260, 320, 20);
    w.gadgets.triggerIndicator->setGeometry(340, 0, 100, 40);
    w.gadgets.upperMarker->setGeometry(0, 250, 2, 6);
    w.gadgets.lowerMarker->setGeometry(0, 284, 2, 6);
    w.window.show();
    QCoreApplication::processEvents();
    const PaintCounter counter(w.display.liveView());
    const std::vector<std::uint8_t> black(320 * 240 * 4, 0);
    for (int picture = 1; picture <= 3; ++picture) {
        // One run with the new picture and its changed blocks, three more on the same picture.
        w.display.showLiveFrame(black, true);
        w.display.markChangedBlock(picture, 0);
        w.display.markChangedBlock(picture, 1);
        QCoreApplication::processEvents();
        for (int run = 0; run < 3; ++run) {
            w.display.showLiveFrame(black, false);
            w.display.showChangeLevel(0.0f, 25);
            w.display.showTriggerState(false);
            QCoreApplication::processEvents();
        }
        EXPECT_EQ(counter.paints, picture);
    }
}

// Block row 0, the bottom one, lies at the foot of the picture; block column 0 on the left.
TEST(StatusDisplay, WashesEachBlockByItsDifferenceUntilHidden) {
    DisplayWindow w;
    const std::vector<std::uint8_t> black(320 * 240 * 4, 0);
    w.display.showLiveFrame(black, true);
    BlockDifferences differences{};
    differences[blockIndex(0, 0)] = 200;  // far above the sensitivity: red
    differences[blockIndex(1, 0)] = 60;   // just above: yellow
    differences[blockIndex(2, 0)] = 25;   // half of it: green, fainter
    differences[blockIndex(39, 29)] = 50;
    w.display.showBlockDifferences(differences, 50);

    const QImage image = w.livePicture();
    const QColor red = image.pixelColor(3, 236);
    EXPECT_GT(red.red(), 100);
    EXPECT_EQ(red.green(), 0);
    const QColor yellow = image.pixelColor(11, 236);
    EXPECT_GT(yellow.red(), 100);
    EXPECT_GT(yellow.green(), 80);
    const QColor green = image.pixelColor(19, 236);
    EXPECT_EQ(green.red(), 0);
    EXPECT_GT(green.green(), 20);
    EXPECT_LT(green.green(), image.pixelColor(315, 3).green()) << "at the sensitivity: greener";
    EXPECT_EQ(image.pixel(27, 236), qRgb(0, 0, 0)) << "no difference, no colour";
    EXPECT_EQ(image.pixel(3, 227), qRgb(0, 0, 0)) << "the block above";

    w.display.hideBlockDifferences();
    EXPECT_EQ(w.livePicture().pixel(3, 236), qRgb(0, 0, 0));
}

TEST(FrameProcessor, RunsOnTheDemoCameraAndSkipsRunsWithoutAPicture) {
    ASSERT_TRUE(loadCaptureLibrary());
    DisplayWindow w;
    DetectionState state;
    Camera camera;
    FrameProcessor processor(camera, state, [] { return std::int64_t(0); });

    EXPECT_FALSE(w.run(processor));
    EXPECT_EQ(processor.bytesPerPixel(), 0) << "no camera, no run";
    EXPECT_EQ(state.warmUpFrames, 0);

    ASSERT_TRUE(camera.connectSource({"Demo", ""}));
    // The first run compares with a reference of zeros: everything changed, no trigger.
    EXPECT_FALSE(w.run(processor));
    EXPECT_EQ(processor.bytesPerPixel(), 4);
    EXPECT_EQ(state.changePercent, 100.0f);
    EXPECT_EQ(w.gadgets.levelBar->value(), 100);
    EXPECT_EQ(w.gadgets.upperMarker->x(), 129);
    EXPECT_EQ(w.indicatorColour(), QColor(0, 187, 0));

    // The room's wall is light, its floor dark; its window, on the right, shows mirrored left.
    const QImage picture = w.livePicture();
    EXPECT_GT(qGray(picture.pixel(160, 40)), 120);
    EXPECT_LT(qGray(picture.pixel(160, 220)), 110);
    EXPECT_GT(qBlue(picture.pixel(80, 60)), 180) << "the window, mirrored";

    // The same picture again: nothing changed.
    EXPECT_FALSE(w.run(processor));
    EXPECT_EQ(state.changePercent, 0.0f);
    camera.disconnectSource();
    EXPECT_FALSE(w.run(processor));
    EXPECT_EQ(state.warmUpFrames, 2) << "runs without a picture are skipped";
}

// Against the background, every run on the same picture gives that picture's level: the
// detection does not depend on how often the timer finds a picture again. A new brightness
// starts the background over instead of making every block differ.
TEST(FrameProcessor, AgainstTheBackgroundEachPictureHasOneLevelHoweverOftenItIsRun) {
    ASSERT_TRUE(loadCaptureLibrary());
    DisplayWindow w;
    DetectionState state;
    Camera camera;
    std::int64_t nowMs = 0;
    FrameProcessor processor(camera, state, [&] { return nowMs; });
    processor.setWatchOptions({}, false, 10);
    ASSERT_TRUE(camera.connectSource({"Demo", ""}));

    std::map<std::uint64_t, std::set<float>> levelsOfPicture;
    DetectionValues values;
    for (int run = 0; run < 400 && levelsOfPicture.size() < 12; ++run) {
        // A second a run on the clock the background learns by: runs on the same picture
        // would learn much, were they to learn.
        nowMs += 1000;
        // The camera delivers meanwhile: a run counts for the picture before and after it.
        const auto before = camera.newestSequence();
        w.run(processor, values);
        if (before && before == camera.newestSequence() && run >= 2)
            levelsOfPicture[*before].insert(state.changePercent);
        QTest::qWait(10);
    }
    ASSERT_GE(levelsOfPicture.size(), 12u);
    bool moved = false;
    for (const auto& [sequence, levels] : levelsOfPicture) {
        EXPECT_EQ(levels.size(), 1u) << "picture " << sequence;
        moved |= *levels.begin() > 0;
    }
    EXPECT_TRUE(moved) << "the ball and the pendulum differ from the background";

    values.brightness = 250;
    w.run(processor, values);
    EXPECT_LT(state.changePercent, 5.0f) << "at most the ball and the pendulum";
    camera.disconnectSource();
}

}  // namespace
