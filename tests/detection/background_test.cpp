#include "detection/backgroundpicture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "../support/detectionrun.h"
#include "detection/demoscene.h"
#include "detection/motiondetector.h"
#include "referencedetection.h"

namespace {

BlockGrid gridOf(int level) {
    BlockGrid grid;
    grid.fill({level, level, level});
    return grid;
}

// Learns `seconds` of pictures at `rate` a second, all at `level`.
void learnFor(BackgroundPicture& background, int level, double seconds, int rate) {
    const BlockGrid grid = gridOf(level);
    for (int picture = 0; picture < seconds * rate; ++picture)
        background.learn(grid, 1.0 / rate, 10);
}

TEST(BackgroundPicture, TakesItsFirstPictureWholeAndAChangeThatStaysFades) {
    BackgroundPicture background;
    EXPECT_FALSE(background.started());
    background.learn(gridOf(50), 3600, 10);
    EXPECT_EQ(background.blocks(), gridOf(50));

    // A change of 100 that stays is down to a third of itself after the time constant, and
    // gone after three of them, whether the camera gives 10 or 30 pictures a second.
    for (int rate : {10, 30}) {
        BackgroundPicture slow;
        slow.learn(gridOf(50), 0, 10);
        learnFor(slow, 150, 10, rate);
        EXPECT_NEAR(slow.blocks()[0].green, 150 - 37, 1) << rate;
        learnFor(slow, 150, 20, rate);
        EXPECT_NEAR(slow.blocks()[0].red, 145, 1) << rate;
    }

    // A time that goes back changes nothing; forgotten, it starts from the next picture.
    background.learn(gridOf(200), -5, 10);
    EXPECT_EQ(background.blocks(), gridOf(50));
    background.forget();
    background.learn(gridOf(200), 0, 10);
    EXPECT_EQ(background.blocks(), gridOf(200));
}

// A camera picture of a plain room: a light wall above a darker floor.
struct Room {
    static constexpr int kWidth = 640;
    static constexpr int kHeight = 480;
    std::vector<std::uint8_t> pixels = std::vector<std::uint8_t>(kWidth * kHeight * 4);
    FrameView view() const { return {pixels.data(), kWidth, kHeight, kWidth * 4}; }

    // With a dark figure as wide as `figureWidth` coming in from the left.
    void render(int figureWidth) {
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                std::uint8_t* p = pixels.data() + (y * kWidth + x) * 4;
                const int level = x < figureWidth ? 40 : y < 300 ? 170 : 90;
                p[0] = p[1] = p[2] = static_cast<std::uint8_t>(level);
            }
        }
    }
};

// Someone who comes in slowly, a pixel a picture at 25 pictures a second, changes no block by
// more than the sensitivity from one picture to the next: the previous run never sees them,
// the background does, within ten seconds.
TEST(BackgroundReference, SeesWhoComesInTooSlowlyForThePreviousRun) {
    Room room;
    DetectionRun previousRun(false);
    DetectionRun background(true);
    double previousRunTrigger = -1;
    double backgroundTrigger = -1;
    float previousRunHighest = 0;
    for (int picture = 0; picture < 10 * 25; ++picture) {
        room.render(picture);
        if (previousRun.run(room.view(), 1.0 / 25) && previousRunTrigger < 0)
            previousRunTrigger = picture / 25.0;
        if (picture >= 2)  // the first runs compare with nothing
            previousRunHighest = std::max(previousRunHighest, previousRun.result.changePercent);
        if (background.run(room.view(), 1.0 / 25) && backgroundTrigger < 0)
            backgroundTrigger = picture / 25.0;
    }
    EXPECT_LT(previousRunTrigger, 0);
    EXPECT_EQ(previousRunHighest, 0.0f);
    EXPECT_GT(backgroundTrigger, 0);
    EXPECT_LT(backgroundTrigger, 10);
}

// A still room seen by a camera whose every pixel has noise of a few levels in every picture:
// ten minutes at 15 pictures a second, and no block ever changes.
TEST(BackgroundReference, CameraNoiseInAStillRoomNeverCounts) {
    Picture room = randomPicture(320, 240, 7);
    // Room for the noise on top: no level above 248.
    for (std::uint8_t& level : room.pixels)
        level = std::min<std::uint8_t>(level, 248);
    Picture noisy = room;
    // New noise of 0 to 7 levels for every byte of every picture, eight bytes at a time.
    std::uint64_t bits = 0x9e3779b97f4a7c15ull;
    const std::size_t words = room.pixels.size() / 8;

    DetectionRun detection(true);
    float highest = 0;
    for (int picture = 0; picture < 10 * 60 * 15; ++picture) {
        for (std::size_t word = 0; word < words; ++word) {
            bits ^= bits << 13;
            bits ^= bits >> 7;
            bits ^= bits << 17;
            std::uint64_t levels;
            std::memcpy(&levels, room.pixels.data() + 8 * word, 8);
            levels += bits & 0x0707070707070707ull;  // no byte carries into the next
            std::memcpy(noisy.pixels.data() + 8 * word, &levels, 8);
        }
        ASSERT_FALSE(detection.run(noisy.view(), 1.0 / 15)) << "picture " << picture;
        highest = std::max(highest, detection.result.changePercent);
    }
    EXPECT_EQ(highest, 0.0f);
}

// The demo camera against the background: a person stepping in triggers every time, the ball
// and the pendulum never do.
TEST(BackgroundReference, OnTheDemoSceneThePersonsTriggerAndTheSmallMotionDoesNot) {
    const DemoScene scene;
    std::vector<std::uint8_t> picture(DemoScene::kStride * DemoScene::kHeight);
    const FrameView view{picture.data(), DemoScene::kWidth, DemoScene::kHeight, DemoScene::kStride};
    constexpr int kFps = DemoScene::kFramesPerSecond;
    // A person at 12, 39, 73, 98 and 130 seconds, the light out at 29, 54, 84 and 118.
    const std::vector<int> persons{12, 39, 73, 98, 130};
    const std::vector<int> darks{29, 54, 84, 118};
    DetectionRun detection(true);
    std::vector<int> personsSeen;
    for (std::int64_t frame = 0; frame < 135 * kFps; ++frame) {
        scene.render(frame, picture.data());
        if (!detection.run(view, 1.0 / kFps))
            continue;
        const double seconds = double(frame) / kFps;
        bool explained = false;
        for (int event : darks)
            explained |= seconds >= event && seconds < event + 15;
        for (int person : persons) {
            if (seconds >= person && seconds < person + 15) {
                explained = true;
                if (personsSeen.empty() || personsSeen.back() != person)
                    personsSeen.push_back(person);
            }
        }
        EXPECT_TRUE(explained) << "the ball or the pendulum triggered at " << seconds << " s";
    }
    EXPECT_EQ(personsSeen, persons);
}

}  // namespace
