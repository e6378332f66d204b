#include "detection/motiondetector.h"

#include <gtest/gtest.h>

namespace {

// A detector past its warm-up, with all references at `level`.
struct WarmDetector {
    DetectionState state;
    ComparisonResult result;
    BlockGrid quiet{};

    explicit WarmDetector(int level = 100) {
        quiet.fill({level, level, level});
        run(quiet);
        run(quiet);
    }
    ComparisonResult& run(const BlockGrid& averages, int sensitivity = 50, int trigger = 25) {
        compareWithReference(state, averages, sensitivity, trigger, result);
        return result;
    }
    // The quiet grid with the first `count` blocks brightened by `step` in blue.
    BlockGrid changed(int count, int step = 100) const {
        BlockGrid grid = quiet;
        for (int i = 0; i < count; ++i)
            grid[i].blue += step;
        return grid;
    }
};

TEST(Comparison, IdenticalFramesChangeNothing) {
    WarmDetector detector;
    const auto& result = detector.run(detector.quiet);
    EXPECT_TRUE(result.changedBlocks.empty());
    EXPECT_EQ(result.changePercent, 0.0f);
    EXPECT_FALSE(result.triggered);
}

TEST(Comparison, ABlockCountsOnlyWhenItsDifferenceExceedsTheSensitivity) {
    WarmDetector detector;
    BlockGrid grid = detector.quiet;
    grid[0] = {110, 80, 120};  // difference 10 + 20 + 20 = 50
    EXPECT_TRUE(detector.run(grid, 50).changedBlocks.empty());

    grid[0] = {110, 80, 121};  // 51, against the last run's averages
    detector.run(detector.quiet);
    EXPECT_EQ(detector.run(grid, 50).changedBlocks.size(), 1u);
}

TEST(Comparison, TriggersAtTwelveBlocksPerPercent) {
    WarmDetector detector;
    auto& below = detector.run(detector.changed(299));
    EXPECT_NEAR(below.changePercent, 24.9167f, 1e-3f);
    EXPECT_FALSE(below.triggered);
    detector.run(detector.quiet);
    auto& at = detector.run(detector.changed(300));
    EXPECT_EQ(at.changePercent, 25.0f);
    EXPECT_TRUE(at.triggered);

    for (int trigger = 1; trigger <= 100; ++trigger) {
        detector.run(detector.quiet);
        EXPECT_FALSE(detector.run(detector.changed(12 * trigger - 1), 50, trigger).triggered)
            << trigger;
        detector.run(detector.quiet);
        EXPECT_TRUE(detector.run(detector.changed(12 * trigger), 50, trigger).triggered) << trigger;
    }
}

TEST(Comparison, AllBlocksGiveExactlyOneHundredPercent) {
    WarmDetector detector;
    const auto& result = detector.run(detector.changed(kBlockCount), 50, 100);
    EXPECT_EQ(result.changePercent, 100.0f);
    EXPECT_TRUE(result.triggered);
}

TEST(Comparison, ChangedBlocksComeColumnByColumnFromTheBottom) {
    WarmDetector detector;
    BlockGrid grid = detector.quiet;
    grid[blockIndex(1, 0)].red = 0;
    grid[blockIndex(0, 29)].red = 0;
    grid[blockIndex(0, 3)].red = 0;
    const auto& blocks = detector.run(grid).changedBlocks;
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(blocks[0].column, 0);
    EXPECT_EQ(blocks[0].row, 3);
    EXPECT_EQ(blocks[1].row, 29);
    EXPECT_EQ(blocks[2].column, 1);
}

TEST(WarmUp, TheFirstTwoRunsNeverTrigger) {
    DetectionState state;
    ComparisonResult result;
    BlockGrid black{};
    BlockGrid white{};
    white.fill({255, 255, 255});
    compareWithReference(state, white, 50, 25, result);
    EXPECT_EQ(result.changePercent, 100.0f);  // against the zero reference
    EXPECT_FALSE(result.triggered);
    compareWithReference(state, black, 50, 25, result);
    EXPECT_FALSE(result.triggered);
    compareWithReference(state, white, 50, 25, result);
    EXPECT_TRUE(result.triggered);
    EXPECT_EQ(state.warmUpFrames, 3);
    compareWithReference(state, black, 50, 25, result);
    compareWithReference(state, white, 50, 25, result);
    EXPECT_EQ(state.warmUpFrames, 4);
}

TEST(HoldOff, CountsNothingButStillTakesTheNewReference) {
    WarmDetector detector;
    detector.state.holdOffFrames = 1;
    const auto& held = detector.run(detector.changed(kBlockCount));
    EXPECT_TRUE(held.changedBlocks.empty());
    EXPECT_EQ(held.changePercent, 0.0f);
    EXPECT_FALSE(held.triggered);
    EXPECT_EQ(detector.state.holdOffFrames, 0);
    // The change happened before the held run, so the next run does not see it either.
    EXPECT_TRUE(detector.run(detector.changed(kBlockCount)).changedBlocks.empty());
}

TEST(HoldOff, ANewValueReplacesALongerOne) {
    WarmDetector detector;
    detector.state.holdOffFrames = 40;
    detector.run(detector.changed(kBlockCount));
    EXPECT_EQ(detector.state.holdOffFrames, 39);
    detector.state.holdOffFrames = 1;
    detector.run(detector.quiet);
    EXPECT_EQ(detector.state.holdOffFrames, 0);
    EXPECT_TRUE(detector.run(detector.changed(kBlockCount)).triggered);
}

}  // namespace
