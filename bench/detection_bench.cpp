// One whole detection run per iteration: mirror, stretch, brightness, block averages, the
// half-size copy for the live picture and the comparison with the previous run. Every
// iteration takes the next picture of a pool larger than the caches, so it starts cold as in
// the running program.

#include <benchmark/benchmark.h>

#include "detection/motiondetector.h"
#include "detection/workframe.h"
#include "picturepool.h"

namespace {

using Variant = void (*)(const FrameView&, bool, int, WorkFrame&);

void detectionRun(benchmark::State& benchState, Variant variant) {
    PicturePool pool(static_cast<int>(benchState.range(0)), static_cast<int>(benchState.range(1)));
    const DetectionValues values;
    DetectionState state;
    ComparisonResult result;
    result.changedBlocks.reserve(kBlockCount);
    WorkFrame work;
    for (auto _ : benchState) {
        variant(pool.next(), values.mirror, values.brightness, work);
        compareWithReference(state, work.averages, values.sensitivity, values.trigger, result);
        benchmark::DoNotOptimize(result.changePercent);
    }
    benchState.counters["pictures"] = static_cast<double>(pool.size());
}

void DetectionRun(benchmark::State& state) {
    detectionRun(state, makeWorkFrame);
}
void DetectionRunPortable(benchmark::State& state) {
    detectionRun(state, makeWorkFramePortable);
}

}  // namespace

BENCHMARK(DetectionRun)
    ->Args({640, 480})
    ->Args({1280, 720})
    ->Args({1920, 1080})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(DetectionRunPortable)
    ->Args({640, 480})
    ->Args({1280, 720})
    ->Args({1920, 1080})
    ->Unit(benchmark::kMicrosecond);
