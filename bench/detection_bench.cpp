// One whole detection run per iteration: mirror, stretch, brightness, block averages, the
// half-size copy for the live picture and the comparison with the previous run, or with the
// background picture that then learns the picture. Every iteration takes the next picture of a
// pool larger than the caches, so it starts cold as in the running program. The runs that find
// the camera's picture again, most of them, only compare.

#include <benchmark/benchmark.h>

#include "detection/backgroundpicture.h"
#include "detection/motiondetector.h"
#include "detection/workframe.h"
#include "picturepool.h"

namespace {

using Variant = void (*)(const FrameView&, bool, int, WorkFrame&);

// At 25 pictures a second.
constexpr double kPictureSeconds = 0.04;

void detectionRun(benchmark::State& benchState, Variant variant, bool againstBackground,
                  PixelLayout layout = PixelLayout::Bgrx) {
    PicturePool pool(static_cast<int>(benchState.range(0)), static_cast<int>(benchState.range(1)),
                     layout);
    const DetectionValues values;
    DetectionState state;
    ComparisonResult result;
    result.changedBlocks.reserve(kBlockCount);
    WorkFrame work;
    BackgroundPicture background;
    ComparisonOptions options;
    if (againstBackground)
        options.background = &background.blocks();
    for (auto _ : benchState) {
        variant(pool.next(), values.mirror, values.brightness, work);
        if (againstBackground)
            background.learn(work.averages, kPictureSeconds, 10);
        compareWithReference(state, work.averages, values.sensitivity, values.trigger, result,
                             options);
        benchmark::DoNotOptimize(result.changePercent);
    }
    benchState.counters["pictures"] = static_cast<double>(pool.size());
}

void DetectionRun(benchmark::State& state) {
    detectionRun(state, makeWorkFrame, false);
}
void DetectionRunPortable(benchmark::State& state) {
    detectionRun(state, makeWorkFramePortable, false);
}
// The camera's own I420 pictures, of which only the sampled points are converted (beside the
// BGRx runs above, which videoconvert's whole conversion of each picture precedes).
void DetectionRunI420(benchmark::State& state) {
    detectionRun(state, makeWorkFrame, false, PixelLayout::I420);
}
void DetectionRunI420Portable(benchmark::State& state) {
    detectionRun(state, makeWorkFramePortable, false, PixelLayout::I420);
}
// Packed RGB pictures, of which only the sampled points are put in BGRx order.
void DetectionRunRgb(benchmark::State& state) {
    detectionRun(state, makeWorkFrame, false, PixelLayout::Rgb);
}
void DetectionRunRgbPortable(benchmark::State& state) {
    detectionRun(state, makeWorkFramePortable, false, PixelLayout::Rgb);
}
void DetectionRunAgainstBackground(benchmark::State& state) {
    detectionRun(state, makeWorkFrame, true);
}

// A run that finds the picture of the run before: against the previous run nothing differs
// and nothing is walked; against the background every block is compared again.
void SamePictureRun(benchmark::State& benchState) {
    PicturePool pool(640, 480);
    WorkFrame work;
    makeWorkFrame(pool.next(), true, 128, work);
    BackgroundPicture background;
    background.learn(work.averages, 0, 10);
    makeWorkFrame(pool.next(), true, 128, work);
    ComparisonOptions options;
    if (benchState.range(0))
        options.background = &background.blocks();
    DetectionState state;
    ComparisonResult result;
    result.changedBlocks.reserve(kBlockCount);
    for (auto _ : benchState) {
        compareWithReference(state, work.averages, 50, 25, result, options);
        benchmark::DoNotOptimize(result.changePercent);
    }
}

// What the background adds to a run with a new picture: learning the picture before.
void BackgroundLearning(benchmark::State& benchState) {
    PicturePool pool(640, 480);
    WorkFrame work;
    makeWorkFrame(pool.next(), true, 128, work);
    BackgroundPicture background;
    for (auto _ : benchState) {
        background.learn(work.averages, kPictureSeconds, 10);
        benchmark::DoNotOptimize(background.blocks()[0]);
    }
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
BENCHMARK(DetectionRunI420)
    ->Args({640, 480})
    ->Args({1280, 720})
    ->Args({1920, 1080})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(DetectionRunI420Portable)
    ->Args({640, 480})
    ->Args({1280, 720})
    ->Args({1920, 1080})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(DetectionRunRgb)
    ->Args({640, 480})
    ->Args({1280, 720})
    ->Args({1920, 1080})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(DetectionRunRgbPortable)
    ->Args({640, 480})
    ->Args({1280, 720})
    ->Args({1920, 1080})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(DetectionRunAgainstBackground)
    ->Args({640, 480})
    ->Args({1280, 720})
    ->Args({1920, 1080})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(SamePictureRun)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BackgroundLearning)->Unit(benchmark::kMicrosecond);
