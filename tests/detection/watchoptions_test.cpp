// The advanced options of the detection: the mask, the light compensation and the watch for
// a lost camera.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "detection/blockmask.h"
#include "detection/camerawatch.h"
#include "detection/demoscene.h"
#include "detection/motiondetector.h"
#include "detection/workframe.h"

namespace {

TEST(BlockMask, TheFirstDigitHoldsTheTopRowsLeftBlocksMostSignificantFirst) {
    std::string text(kMaskTextLength, '0');
    text[0] = '9';      // columns 0 and 3 of row 29
    text.back() = '1';  // column 39 of row 0
    const BlockMask mask = maskFromText(text);
    EXPECT_EQ(mask.count(), 3u);
    EXPECT_TRUE(mask[blockIndex(0, 29)]);
    EXPECT_TRUE(mask[blockIndex(3, 29)]);
    EXPECT_TRUE(mask[blockIndex(39, 0)]);
    EXPECT_EQ(maskText(mask), text);
}

TEST(BlockMask, ReadsEitherCaseAndWritesWhatItReads) {
    std::mt19937 random(7);
    BlockMask mask;
    for (int i = 0; i < kBlockCount; ++i)
        mask[i] = random() % 3 == 0;
    const std::string text = maskText(mask);
    ASSERT_EQ(text.size(), kMaskTextLength);
    EXPECT_EQ(maskFromText(text), mask);
    std::string lower = text;
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(maskFromText(lower), mask);
    EXPECT_EQ(maskText(BlockMask{}), "");
}

TEST(BlockMask, MalformedTextIsNoMask) {
    const std::string full(kMaskTextLength, 'F');
    std::string withSign = full;
    withSign[0] = '-';
    std::string withPrefix = full;
    withPrefix[0] = '0';
    withPrefix[1] = 'x';
    for (const std::string& text :
         {std::string(), full + "F", full.substr(1), full.substr(1) + "G", full.substr(1) + " ",
          std::string(kMaskTextLength, '\0'), withSign, withPrefix}) {
        EXPECT_TRUE(maskFromText(text).none()) << text;
    }
    EXPECT_TRUE(maskFromText(full).all());
}

TEST(BlockMask, StaysOnTheSameSceneWhenMirrored) {
    BlockMask camera;
    camera[blockIndex(0, 5)] = true;
    camera[blockIndex(12, 29)] = true;
    EXPECT_EQ(maskInWorkFrame(camera, false), camera);
    const BlockMask work = maskInWorkFrame(camera, true);
    EXPECT_EQ(work.count(), 2u);
    EXPECT_TRUE(work[blockIndex(39, 5)]);
    EXPECT_TRUE(work[blockIndex(27, 29)]);
}

// A detector past its warm-up on a grid of varied blocks.
struct Detector {
    DetectionState state;
    ComparisonResult result;
    ComparisonOptions options;

    explicit Detector(const BlockGrid& start) {
        run(start);
        run(start);
    }
    const ComparisonResult& run(const BlockGrid& averages) {
        compareWithReference(state, averages, 50, 25, result, options);
        return result;
    }
};

BlockGrid variedGrid() {
    BlockGrid grid;
    std::mt19937 random(3);
    for (BlockColour& colour : grid) {
        colour = {int(40 + random() % 200), int(40 + random() % 200), int(40 + random() % 200)};
    }
    return grid;
}

TEST(MaskedComparison, IgnoredBlocksNeverCountAndThePercentageIsOfTheWatchedOnes) {
    const BlockGrid quiet = variedGrid();
    Detector detector(quiet);
    for (int i = 0; i < kBlockCount / 2; ++i)
        detector.options.ignored[i] = true;
    BlockGrid moved = quiet;
    for (BlockColour& colour : moved)
        colour.blue = (colour.blue + 128) % 256;  // every block by far
    const ComparisonResult& all = detector.run(moved);
    EXPECT_EQ(all.changedBlocks.size(), std::size_t{kBlockCount / 2});
    for (const BlockPosition& block : all.changedBlocks)
        EXPECT_FALSE(detector.options.ignored[blockIndex(block.column, block.row)]);
    EXPECT_FLOAT_EQ(all.changePercent, 100.0f);

    // 150 of the 600 watched blocks are 25 %: a trigger at 25.
    BlockGrid some = moved;
    for (int i = kBlockCount / 2; i < kBlockCount / 2 + 150; ++i)
        some[i].red = (some[i].red + 128) % 256;
    for (int i = 0; i < kBlockCount / 2; ++i)
        some[i].green = (some[i].green + 128) % 256;  // ignored
    EXPECT_FLOAT_EQ(detector.run(some).changePercent, 25.0f);
    EXPECT_TRUE(detector.result.triggered);

    detector.options.ignored.set();
    EXPECT_EQ(detector.run(quiet).changePercent, 0.0f);
    EXPECT_FALSE(detector.result.triggered);
}

BlockGrid inLight(const BlockGrid& grid, int numerator, int denominator) {
    BlockGrid lit = grid;
    for (BlockColour& colour : lit) {
        colour = {std::min(colour.blue * numerator / denominator, 255),
                  std::min(colour.green * numerator / denominator, 255),
                  std::min(colour.red * numerator / denominator, 255)};
    }
    return lit;
}

TEST(LightCompensation, TheWholePictureGettingDarkerOrLighterDoesNotCount) {
    const BlockGrid quiet = variedGrid();
    Detector plain(quiet);
    EXPECT_TRUE(plain.run(inLight(quiet, 1, 2)).triggered);

    Detector compensated(quiet);
    compensated.options.lightCompensation = true;
    EXPECT_EQ(compensated.run(inLight(quiet, 1, 2)).changedBlocks.size(), 0u);
    EXPECT_EQ(compensated.run(quiet).changedBlocks.size(), 0u);
    EXPECT_EQ(compensated.run(inLight(quiet, 2, 5)).changedBlocks.size(), 0u);
    EXPECT_EQ(compensated.run(quiet).changedBlocks.size(), 0u);
    EXPECT_EQ(compensated.run(inLight(quiet, 3, 2)).changedBlocks.size(), 0u);  // some at 255
}

TEST(LightCompensation, WhatMovesStillCountsAlsoInTheMomentOfTheLightChange) {
    const BlockGrid quiet = variedGrid();
    Detector detector(quiet);
    detector.options.lightCompensation = true;
    // A third of the picture covered by something dark-blue, while the light halves.
    BlockGrid both = inLight(quiet, 1, 2);
    for (int i = 0; i < kBlockCount / 3; ++i)
        both[i * 3] = {120, 20, 10};
    const ComparisonResult& result = detector.run(both);
    EXPECT_TRUE(result.triggered);
    EXPECT_GE(result.changedBlocks.size(), std::size_t{kBlockCount / 3 * 9 / 10});
}

TEST(LightCompensation, ADarkReferenceTellsNothingAndIsComparedAsItIs) {
    BlockGrid dark;
    dark.fill({5, 5, 5});
    EXPECT_EQ(lightGain(dark, inLight(dark, 1, 1), BlockMask{}), 1024);
    BlockGrid grid = variedGrid();
    EXPECT_NEAR(lightGain(grid, inLight(grid, 1, 2), BlockMask{}), 512, 8);
    BlockMask all;
    all.set();
    EXPECT_EQ(lightGain(grid, inLight(grid, 1, 2), all), 1024);
}

// A camera picture of the test's own: a patterned wall, which the test darkens, and a box that
// moves over it.
struct Footage {
    static constexpr int kWidth = 800;
    static constexpr int kHeight = 600;
    std::vector<std::uint8_t> pixels = std::vector<std::uint8_t>(kWidth * kHeight * 4);

    void render(int boxX, bool dark) {
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                std::uint8_t* p = &pixels[(y * kWidth + x) * 4];
                const bool inBox = boxX >= 0 && x >= boxX && x < boxX + 420 && y >= 150 && y < 500;
                p[0] = static_cast<std::uint8_t>(inBox ? 30 : 60 + (x / 40 % 5) * 30);
                p[1] = static_cast<std::uint8_t>(inBox ? 200 : 80 + (y / 30 % 4) * 35);
                p[2] = static_cast<std::uint8_t>(inBox ? 40 : 100 + ((x + y) / 50 % 3) * 40);
                if (dark) {
                    for (int c = 0; c < 3; ++c)
                        p[c] = static_cast<std::uint8_t>(p[c] / 2);
                }
            }
        }
    }
};

TEST(LightCompensation, OnFootageADarkeningByHalfIsQuietAndABoxStepsInWithOrWithoutIt) {
    Footage footage;
    const FrameView view{footage.pixels.data(), Footage::kWidth, Footage::kHeight,
                         Footage::kWidth * 4};
    WorkFrame work;
    DetectionState state;
    ComparisonResult result;
    ComparisonOptions options;
    options.lightCompensation = true;
    auto runOn = [&](int boxX, bool dark) {
        footage.render(boxX, dark);
        makeWorkFrame(view, true, 128, work);
        compareWithReference(state, work.averages, 50, 25, result, options);
        return result.triggered;
    };
    runOn(-1, false);
    runOn(-1, false);
    EXPECT_FALSE(runOn(-1, false));
    EXPECT_FALSE(runOn(-1, true)) << result.changePercent;
    EXPECT_FALSE(runOn(-1, false)) << result.changePercent;
    EXPECT_TRUE(runOn(100, false));
    EXPECT_FALSE(runOn(100, false));
    runOn(-1, false);  // the box leaves
    EXPECT_TRUE(runOn(300, true)) << "the box steps in as the light halves";
}

// The demo camera's events with the light compensated: the light going out and on again never
// triggers, a person stepping in always does.
TEST(LightCompensation, OnTheDemoSceneOnlyThePersonTriggers) {
    const DemoScene scene;
    DetectionState state;
    ComparisonResult result;
    ComparisonOptions options;
    options.lightCompensation = true;
    WorkFrame work;
    std::vector<std::uint8_t> picture(DemoScene::kStride * DemoScene::kHeight);
    const FrameView view{picture.data(), DemoScene::kWidth, DemoScene::kHeight, DemoScene::kStride};
    constexpr int kFps = DemoScene::kFramesPerSecond;
    // The events of the scene's first cycle and the next one's first, in seconds: a person
    // at 12, 39, 73, 98 and 130, the light out at 29, 54, 84 and 118.
    const std::vector<int> persons{12, 39, 73, 98, 130};
    const std::vector<int> darks{29, 54, 84, 118};
    std::vector<int> personsSeen;
    for (std::int64_t frame = 0; frame < 135 * kFps; ++frame) {
        scene.render(frame, picture.data());
        makeWorkFrame(view, true, 128, work);
        compareWithReference(state, work.averages, 50, 25, result, options);
        if (!result.triggered)
            continue;
        const double seconds = double(frame) / kFps;
        for (int dark : darks) {
            EXPECT_FALSE(seconds >= dark - 0.1 && seconds < dark + 2.0)
                << "the light went out at " << dark << " s and triggered at " << seconds;
        }
        for (int person : persons) {
            if (seconds >= person && seconds < person + 2.5 &&
                (personsSeen.empty() || personsSeen.back() != person)) {
                personsSeen.push_back(person);
            }
        }
    }
    EXPECT_EQ(personsSeen, persons);
}

TEST(CameraWatch, TellsOnceWhenNoPictureCameForTheSetTimeAndAgainAfterPicturesCameBack) {
    CameraWatch watch;
    watch.setLimit(5);
    using Change = CameraWatch::Change;
    EXPECT_EQ(watch.observe(1, 0), Change::None);
    EXPECT_EQ(watch.observe(2, 4000), Change::None);
    EXPECT_EQ(watch.observe(2, 8999), Change::None);
    EXPECT_EQ(watch.observe(std::nullopt, 9000), Change::Lost);
    EXPECT_EQ(watch.observe(std::nullopt, 60000), Change::None);
    EXPECT_EQ(watch.observe(2, 61000), Change::None);  // the same picture is no new one
    EXPECT_EQ(watch.observe(1, 62000), Change::Back);  // a restarted camera counts anew
    EXPECT_EQ(watch.observe(1, 66999), Change::None);
    EXPECT_EQ(watch.observe(1, 67000), Change::Lost);
}

TEST(CameraWatch, SwitchedOffOrStartingWithoutPicturesItKeepsToItsTime) {
    CameraWatch off;
    EXPECT_EQ(off.observe(std::nullopt, 0), CameraWatch::Change::None);
    EXPECT_EQ(off.observe(std::nullopt, 1'000'000), CameraWatch::Change::None);

    CameraWatch watch;
    watch.setLimit(1);
    EXPECT_EQ(watch.observe(std::nullopt, 100), CameraWatch::Change::None);
    EXPECT_EQ(watch.observe(std::nullopt, 1100), CameraWatch::Change::Lost);
    EXPECT_EQ(watch.observe(7, 1200), CameraWatch::Change::Back);
}

}  // namespace
