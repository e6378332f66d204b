#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

#include "detection/blockmask.h"
#include "detection/workframe.h"

// The detection runs once per period of the main window's frame timer.
inline constexpr int kFrameIntervalMs = 10;

// Runs to hold off for a wait of `seconds`, so that the wait lasts what it says.
constexpr std::int32_t holdOffRunsForWait(int seconds) {
    return seconds * (1000 / kFrameIntervalMs);
}

// Detection state that lives for the whole program run and is never saved.
struct DetectionState {
    // Runs still to come in which no change may count; always set by plain assignment. The
    // camera reports a clip's begin and end on the main thread, so only that thread writes it.
    std::atomic<std::int32_t> holdOffFrames{0};
    // Set from the beginning to the end of a clip recording; no frame is compared meanwhile.
    std::atomic<bool> recordingActive{false};
    // Runs completed since start, counted up to 4; the first two runs never trigger.
    int warmUpFrames = 0;
    float changePercent = 0.0f;
    // The previous run's block averages; all zero at start.
    BlockGrid blockReference{};
};

struct DetectionValues {
    int brightness = 128;  // 0..255, 128 is neutral
    int sensitivity = 50;  // 1..500; a block counts when its difference is greater
    int trigger = 25;      // 1..100, percentage of changed blocks that triggers
    bool mirror = true;
};

struct BlockPosition {
    int column = 0;
    int row = 0;  // counted from the bottom of the picture
};

// Each block's difference from its reference: the sum of the blue, green and red differences.
using BlockDifferences = std::array<std::int16_t, kBlockCount>;

struct ComparisonResult {
    std::vector<BlockPosition> changedBlocks;  // column by column, bottom to top in each
    float changePercent = 0.0f;
    bool triggered = false;
};

// What the advanced options change in a comparison; the defaults change nothing.
struct ComparisonOptions {
    // Never counted as changed; the percentage is taken of the other blocks. In the working
    // frame's orientation.
    BlockMask ignored;
    // The reference is brought to the new picture's light before the blocks are compared.
    bool lightCompensation = false;
    // When set, the blocks are compared with this background instead of the previous run.
    const BlockGrid* background = nullptr;
};

// Compares the new block averages with the reference, counts the changed blocks unless a
// hold-off is running, makes the averages the previous run's and advances hold-off and warm-up.
void compareWithReference(DetectionState& state, const BlockGrid& averages, int sensitivity,
                          int trigger, ComparisonResult& result,
                          const ComparisonOptions& options = {});

// What `runs` runs on the picture of the run before do: nothing but lower the hold-off and
// count towards the warm-up, as against the previous run the same picture differs nowhere.
void countRunsOnSamePicture(DetectionState& state, std::int64_t runs);

// What the comparison measures against the sensitivity; ignored blocks differ in nothing.
void blockDifferences(const BlockGrid& reference, const BlockGrid& averages,
                      const ComparisonOptions& options, BlockDifferences& differences);

// How much lighter the new picture is than the reference as a whole, in 1/1024: the median,
// over the watched blocks that are not dark in the reference, of each block's new brightness
// to its old. The median follows the light and not what moves, as long as that covers less
// than half of the picture. 1024 when no block tells.
int lightGain(const BlockGrid& reference, const BlockGrid& averages, const BlockMask& ignored);
