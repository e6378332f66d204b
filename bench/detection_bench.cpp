// One whole detection run per iteration: mirror, stretch, brightness, block averages, the
// half-size copy for the live picture and the comparison with the previous run.

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "detection/motiondetector.h"
#include "detection/workframe.h"

namespace {

using Variant = void (*)(const FrameView&, bool, int, WorkFrame&);

void detectionRun(benchmark::State& benchState, Variant variant) {
    const int width = static_cast<int>(benchState.range(0));
    const int height = static_cast<int>(benchState.range(1));
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * 4);
    std::mt19937 random(1);
    for (auto& byte : pixels)
        byte = static_cast<std::uint8_t>(random());
    const FrameView picture{pixels.data(), width, height, width * 4};
    const DetectionValues values;
    DetectionState state;
    ComparisonResult result;
    result.changedBlocks.reserve(kBlockCount);
    WorkFrame work;
    for (auto _ : benchState) {
        variant(picture, values.mirror, values.brightness, work);
        compareWithReference(state, work.averages, values.sensitivity, values.trigger, result);
        benchmark::DoNotOptimize(result.changePercent);
    }
}

void DetectionRun(benchmark::State& state) {
    detectionRun(state, makeWorkFrame);
}
void DetectionRunPortable(benchmark::State& state) {
    detectionRun(state, makeWorkFramePortable);
}

}  // namespace

BENCHMARK(DetectionRun)->Args({640, 480})->Args({1280, 720})->Unit(benchmark::kMicrosecond);
BENCHMARK(DetectionRunPortable)->Args({640, 480})->Args({1280, 720})->Unit(benchmark::kMicrosecond);
