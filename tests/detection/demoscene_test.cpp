#include "detection/demoscene.h"

#include <gtest/gtest.h>

#include <vector>

#include "detection/motiondetector.h"
#include "detection/workframe.h"

namespace {

TEST(DemoScene, TheSameFrameNumberGivesTheSamePicture) {
    const DemoScene first;
    const DemoScene second;
    std::vector<std::uint8_t> a(DemoScene::kStride * DemoScene::kHeight);
    std::vector<std::uint8_t> b(a.size());
    for (std::int64_t frame : {0, 1, 300, 1234, 25 * 3600 * 24 * 7}) {
        first.render(frame, a.data());
        second.render(frame, b.data());
        EXPECT_TRUE(a == b) << frame;
    }
}

// Runs the detection with its start values over the demo camera's first minutes, one run per
// picture, and sees large events every 10 to 20 seconds and small motion in between.
TEST(DemoScene, TriggersEveryTenToTwentySecondsAndMovesTheLevelInBetween) {
    const DemoScene scene;
    const DetectionValues values;
    DetectionState state;
    ComparisonResult result;
    WorkFrame work;
    std::vector<std::uint8_t> picture(DemoScene::kStride * DemoScene::kHeight);
    const FrameView view{picture.data(), DemoScene::kWidth, DemoScene::kHeight, DemoScene::kStride};

    constexpr int kFps = DemoScene::kFramesPerSecond;
    std::vector<double> eventStarts;  // seconds
    double lastTrigger = -100;
    int quietFramesWithMotion = 0;
    for (std::int64_t frame = 0; frame < 150 * kFps; ++frame) {
        scene.render(frame, picture.data());
        makeWorkFrame(view, values.mirror, values.brightness, work);
        compareWithReference(state, work.averages, values.sensitivity, values.trigger, result);
        const double seconds = double(frame) / kFps;
        if (state.warmUpFrames <= 2)
            continue;  // the first runs compare with nothing
        if (result.triggered) {
            // A person stepping in and out, or the light going off and on, is one event.
            if (seconds - lastTrigger > 3)
                eventStarts.push_back(seconds);
            lastTrigger = seconds;
        } else if (seconds - lastTrigger > 3 && result.changePercent > 0) {
            EXPECT_LT(result.changePercent, 5.0f) << "at " << seconds << " s";
            ++quietFramesWithMotion;
        }
    }

    ASSERT_GE(eventStarts.size(), 8u);
    EXPECT_GE(eventStarts.front(), 10.0);
    EXPECT_LE(eventStarts.front(), 20.0);
    for (std::size_t i = 1; i < eventStarts.size(); ++i) {
        const double gap = eventStarts[i] - eventStarts[i - 1];
        EXPECT_GE(gap, 10.0) << "event " << i;
        EXPECT_LE(gap, 20.0) << "event " << i;
    }
    EXPECT_GT(quietFramesWithMotion, 100 * kFps);
}

}  // namespace
