// What one detection run costs the live display: the calls of a run with a few changed blocks,
// and the repaint of the live picture that follows a new camera picture.

#include <benchmark/benchmark.h>

#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QProgressBar>
#include <QWidget>

#include <vector>

#include "app/statusdisplay.h"

namespace {

struct DisplayWindow {
    QWidget window;
    StatusDisplay display{
        &window,
        {new QProgressBar(&window), new QFrame(&window), new QFrame(&window), new QLabel(&window)}};
    std::vector<std::uint8_t> picture = std::vector<std::uint8_t>(320 * 240 * 4, 90);
};

void DisplayRun(benchmark::State& state) {
    DisplayWindow w;
    bool triggered = false;
    for (auto _ : state) {
        w.display.showLiveFrame(w.picture, true);
        for (int block = 0; block < 24; ++block)
            w.display.markChangedBlock(block, block % 30);
        w.display.showChangeLevel(2.0f, 25);
        w.display.showTriggerState(triggered = !triggered);
    }
}

void LivePicturePaint(benchmark::State& state) {
    DisplayWindow w;
    QImage target(320, 240, QImage::Format_RGB32);
    w.display.showLiveFrame(w.picture, true);
    for (int block = 0; block < 24; ++block)
        w.display.markChangedBlock(block, block % 30);
    for (auto _ : state)
        w.display.liveView()->render(&target);
}

}  // namespace

BENCHMARK(DisplayRun)->Unit(benchmark::kMicrosecond);
BENCHMARK(LivePicturePaint)->Unit(benchmark::kMicrosecond);
