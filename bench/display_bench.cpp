// What one detection run costs the live display: the calls of a run with a few changed blocks,
// and the repaint of the live picture that follows a new camera picture, painted into a shown
// window and flushed to the display. Run under Xvfb for the X flush to count:
//   QT_QPA_PLATFORM=xcb xvfb-run -a build/bench/sentello_bench --benchmark_filter=Live
// (bench/cpu-vs-motion.sh does so too); without a display Qt's offscreen platform paints.

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QFrame>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QProgressBar>
#include <QWidget>
#include <QWindow>

#include <vector>

#include "app/statusdisplay.h"

namespace {

struct DisplayWindow {
    DisplayWindow() {
        window.resize(340, 260);
        window.show();
        // The first paints go nowhere until the display server shows the window.
        for (int attempt = 0; attempt < 500 && !window.windowHandle()->isExposed(); ++attempt)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QCoreApplication::processEvents();
    }

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
    w.display.showLiveFrame(w.picture, true);
    for (int block = 0; block < 24; ++block)
        w.display.markChangedBlock(block, block % 30);
    for (auto _ : state) {
        // repaint() paints and flushes at once; sync() waits until the display server has
        // taken the picture.
        w.display.liveView()->repaint();
        QGuiApplication::sync();
    }
    state.SetLabel(QGuiApplication::platformName().toStdString());
}

}  // namespace

BENCHMARK(DisplayRun)->Unit(benchmark::kMicrosecond);
BENCHMARK(LivePicturePaint)->Unit(benchmark::kMicrosecond);
