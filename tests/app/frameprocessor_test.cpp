#include "app/frameprocessor.h"

#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QWidget>

#include <gtest/gtest.h>

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
    QColor indicatorColour() const {
        return gadgets.triggerIndicator->palette().color(QPalette::Window);
    }
};

TEST(StatusDisplay, MarksChangedBlocksOverThePictureUntilTheNextRun) {
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

    // The next run, even with the same picture, shows it without the old markers.
    w.display.showLiveFrame(black, false);
    EXPECT_EQ(w.livePicture().pixel(QPoint(4, 234)), qRgb(0, 0, 0));
}

TEST(FrameProcessor, RunsOnTheDemoCameraAndSkipsRunsWithoutAPicture) {
    ASSERT_TRUE(loadCaptureLibrary());
    DisplayWindow w;
    DetectionState state;
    Camera camera;
    FrameProcessor processor(camera, w.display, state);

    EXPECT_FALSE(processor.processFrame({}));
    EXPECT_EQ(processor.bytesPerPixel(), 0) << "no camera, no run";
    EXPECT_EQ(state.warmUpFrames, 0);

    ASSERT_TRUE(camera.connectSource({"Demo", ""}));
    // The first run compares with a reference of zeros: everything changed, no trigger.
    EXPECT_FALSE(processor.processFrame({}));
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
    EXPECT_FALSE(processor.processFrame({}));
    EXPECT_EQ(state.changePercent, 0.0f);
    camera.disconnectSource();
    EXPECT_FALSE(processor.processFrame({}));
    EXPECT_EQ(state.warmUpFrames, 2) << "runs without a picture are skipped";
}

}  // namespace
