#include <benchmark/benchmark.h>

#include <QApplication>

int main(int argc, char* argv[]) {
    // Without a display Qt's offscreen platform paints; with QT_QPA_PLATFORM=xcb and DISPLAY
    // set the display benchmarks paint into a window on that display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
