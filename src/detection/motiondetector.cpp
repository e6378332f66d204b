#include "detection/motiondetector.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace {

constexpr int kGainOne = 1024;
// Below this sum of blue, green and red a block's ratio says more about noise than light.
constexpr int kMinTellingBrightness = 48;
// The runs after the start that are counted; the first two never trigger.
constexpr int kWarmUpRuns = 4;

int brightness(const BlockColour& colour) {
    return colour.blue + colour.green + colour.red;
}

// The reference colour as it would look in the new light; the picture cannot get lighter
// than 255.
int inNewLight(int value, int gain) {
    return std::min((value * gain + kGainOne / 2) / kGainOne, 255);
}

// Lowered only while above zero; another thread may have set a new value since the read.
void lowerHoldOff(DetectionState& state, std::int64_t runs) {
    std::int32_t holdOff = state.holdOffFrames.load();
    while (holdOff > 0 &&
           !state.holdOffFrames.compare_exchange_weak(
               holdOff, static_cast<std::int32_t>(std::max<std::int64_t>(holdOff - runs, 0)))) {
    }
}

void countWarmUp(DetectionState& state, std::int64_t runs) {
    state.warmUpFrames =
        static_cast<int>(std::min<std::int64_t>(state.warmUpFrames + runs, kWarmUpRuns));
}

}  // namespace

int lightGain(const BlockGrid& reference, const BlockGrid& averages, const BlockMask& ignored) {
    std::array<int, kBlockCount> ratios;
    std::size_t count = 0;
    for (int i = 0; i < kBlockCount; ++i) {
        const int before = brightness(reference[i]);
        if (ignored[i] || before < kMinTellingBrightness)
            continue;
        ratios[count++] = (brightness(averages[i]) * kGainOne + before / 2) / before;
    }
    if (count == 0)
        return kGainOne;
    const auto middle = ratios.begin() + count / 2;
    std::nth_element(ratios.begin(), middle, ratios.begin() + count);
    return *middle;
}

void blockDifferences(const BlockGrid& reference, const BlockGrid& averages,
                      const ComparisonOptions& options, BlockDifferences& differences) {
    const int gain =
        options.lightCompensation ? lightGain(reference, averages, options.ignored) : kGainOne;
    for (int i = 0; i < kBlockCount; ++i) {
        if (options.ignored[i]) {
            differences[i] = 0;
            continue;
        }
        const BlockColour& before = reference[i];
        const BlockColour& now = averages[i];
        int difference = 0;
        if (gain == kGainOne) {
            difference = std::abs(before.blue - now.blue) + std::abs(before.green - now.green) +
                         std::abs(before.red - now.red);
        } else {
            difference = std::abs(inNewLight(before.blue, gain) - now.blue) +
                         std::abs(inNewLight(before.green, gain) - now.green) +
                         std::abs(inNewLight(before.red, gain) - now.red);
        }
        differences[i] = static_cast<std::int16_t>(difference);
    }
}

void compareWithReference(DetectionState& state, const BlockGrid& averages, int sensitivity,
                          int trigger, ComparisonResult& result, const ComparisonOptions& options) {
    const bool holdingOff = state.holdOffFrames.load() != 0;
    result.changedBlocks.clear();
    // Most runs see the camera's previous picture again: against the previous run nothing
    // differs, nothing to walk.
    const bool unchanged =
        !options.background && sensitivity >= 0 && averages == state.blockReference;
    if (!unchanged) {
        BlockDifferences differences;
        blockDifferences(options.background ? *options.background : state.blockReference, averages,
                         options, differences);
        for (int c = 0; c < kBlockColumns && !holdingOff; ++c) {
            for (int r = 0; r < kBlockRows; ++r) {
                const int index = blockIndex(c, r);
                if (differences[index] > sensitivity && !options.ignored[index])
                    result.changedBlocks.push_back({c, r});
            }
        }
        state.blockReference = averages;
    }
    lowerHoldOff(state, 1);

    const int count = static_cast<int>(result.changedBlocks.size());
    const int watched = kBlockCount - static_cast<int>(options.ignored.count());
    if (watched == kBlockCount) {
        constexpr double kPercentPerPixel = 100.0 * kBlockSize / (kWorkWidth * kWorkHeight);
        state.changePercent = static_cast<float>(kPercentPerPixel * (count * kBlockSize));
    } else {
        state.changePercent = watched > 0 ? static_cast<float>(100.0 * count / watched) : 0.0f;
    }
    result.changePercent = state.changePercent;
    result.triggered = state.warmUpFrames > 1 && state.changePercent >= static_cast<float>(trigger);
    countWarmUp(state, 1);
}

void countRunsOnSamePicture(DetectionState& state, std::int64_t runs) {
    lowerHoldOff(state, runs);
    countWarmUp(state, runs);
}
