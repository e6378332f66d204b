#include "detection/motiondetector.h"

#include <cstdlib>

void compareWithReference(DetectionState& state, const BlockGrid& averages, int sensitivity,
                          int trigger, ComparisonResult& result) {
    const bool holdingOff = state.holdOffFrames.load() != 0;
    result.changedBlocks.clear();
    // Most runs see the camera's previous picture again: nothing differs, nothing to walk.
    const bool unchanged = sensitivity >= 0 && averages == state.blockReference;
    for (int c = 0; c < kBlockColumns && !unchanged; ++c) {
        for (int r = 0; r < kBlockRows; ++r) {
            BlockColour& reference = state.blockReference[blockIndex(c, r)];
            const BlockColour& average = averages[blockIndex(c, r)];
            const int difference = std::abs(reference.blue - average.blue) +
                                   std::abs(reference.green - average.green) +
                                   std::abs(reference.red - average.red);
            if (difference > sensitivity && !holdingOff)
                result.changedBlocks.push_back({c, r});
            reference = average;
        }
    }
    // Lowered only when above zero; another thread may have set a new value since the read.
    std::int32_t holdOff = state.holdOffFrames.load();
    while (holdOff > 0 && !state.holdOffFrames.compare_exchange_weak(holdOff, holdOff - 1)) {
    }

    const int count = static_cast<int>(result.changedBlocks.size());
    constexpr double kPercentPerPixel = 100.0 / (kWorkWidth * kWorkHeight / kBlockSize);
    state.changePercent = static_cast<float>(kPercentPerPixel * (count * kBlockSize));
    result.changePercent = state.changePercent;
    result.triggered = state.warmUpFrames > 1 && state.changePercent >= static_cast<float>(trigger);
    if (state.warmUpFrames < 4)
        ++state.warmUpFrames;
}
