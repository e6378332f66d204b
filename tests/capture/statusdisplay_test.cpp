#include "capture/statusdisplay.h"

#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QWidget>

#include <gtest/gtest.h>

#include "capture/camera.h"
#include "capture/frameprocessor.h"

namespace {

QImage liveImage(const StatusDisplay& display) {
    return const_cast<LiveView*>(display.liveView())->grab().toImage();
}

QColor indicatorColour(const StatusDisplay& display) {
    return display.triggerIndicator()->palette().color(QPalette::Window);
}

TEST(StatusDisplay, LevelBarRoundsAndMarkersFollowTheTrigger) {
    QWidget window;
    StatusDisplay display(&window);
    display.showChangeLevel(100.0f * 299 / 1200, 25);
    EXPECT_EQ(display.levelBar()->value(), 25);
    EXPECT_EQ(display.upperMarker()->x(), 129);
    EXPECT_EQ(display.lowerMarker()->x(), 129);
    EXPECT_EQ(display.upperMarker()->y(), 248);
    EXPECT_EQ(display.lowerMarker()->y(), 272);

    display.showChangeLevel(100.0f * 290 / 1200, 1);
    EXPECT_EQ(display.levelBar()->value(), 24);
    EXPECT_EQ(display.upperMarker()->x(), 7);
    display.showChangeLevel(0.0f, 100);
    EXPECT_EQ(display.levelBar()->value(), 0);
    EXPECT_EQ(display.lowerMarker()->x(), 510);
}

TEST(StatusDisplay, IndicatorIsRedAfterATriggerAndGreenOtherwise) {
    QWidget window;
    StatusDisplay display(&window);
    display.showTriggerState(true);
    EXPECT_EQ(indicatorColour(display), QColor(255, 0, 0));
    display.showTriggerState(false);
    EXPECT_EQ(indicatorColour(display), QColor(0, 187, 0));
}

TEST(StatusDisplay, ChangedBlocksAreMarkedAroundTheirCentres) {
    QWidget window;
    StatusDisplay display(&window);
    ASSERT_EQ(display.liveView()->geometry(), QRect(4, 4, 320, 240));
    display.showLiveFrame(std::vector<std::uint8_t>(320 * 240 * 4, 0));
    display.markChangedBlock(0, 0);    // bottom left, centre at 8, 240 in the window
    display.markChangedBlock(39, 29);  // top right, centre at 320, 8

    const QImage image = liveImage(display);
    const QRgb yellow = qRgb(255, 255, 0);
    for (const QPoint centre : {QPoint(8, 240), QPoint(320, 8)}) {
        const QPoint inPicture = centre - QPoint(4, 4);
        for (const QPoint offset : {QPoint(0, -2), QPoint(0, 2), QPoint(-2, 0), QPoint(2, 0)}) {
            EXPECT_EQ(image.pixel(inPicture + offset), yellow) << centre.x() << "," << centre.y();
        }
        EXPECT_EQ(image.pixel(inPicture), qRgb(0, 0, 0)) << "the centre stays";
    }

    // The next picture paints over the markers.
    display.showLiveFrame(std::vector<std::uint8_t>(320 * 240 * 4, 0));
    EXPECT_EQ(liveImage(display).pixel(QPoint(4, 234)), qRgb(0, 0, 0));
}

TEST(FrameProcessor, RunsOnTheDemoCameraAndSkipsRunsWithoutAPicture) {
    ASSERT_TRUE(loadCaptureLibrary());
    QWidget window;
    StatusDisplay display(&window);
    DetectionState state;
    Camera camera;
    FrameProcessor processor(camera, display, state);

    EXPECT_FALSE(processor.processFrame({}));
    EXPECT_EQ(processor.bytesPerPixel(), 0) << "no camera, no run";
    EXPECT_EQ(state.warmUpFrames, 0);

    ASSERT_TRUE(camera.connectSource({"Demo", ""}));
    // The first run compares with a reference of zeros: everything changed, no trigger.
    EXPECT_FALSE(processor.processFrame({}));
    EXPECT_EQ(processor.bytesPerPixel(), 4);
    EXPECT_EQ(state.changePercent, 100.0f);
    EXPECT_EQ(display.levelBar()->value(), 100);
    EXPECT_EQ(indicatorColour(display), QColor(0, 187, 0));

    // The room's wall is light, its floor dark; its window, on the right, shows mirrored left.
    const QImage picture = liveImage(display);
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
