#include "app/mainwindow.h"

#include "app/aboutwindow.h"

void MainWindow::onAboutClicked() {
    setEnabled(false);
    withFrameTimerStopped([this] { showAboutWindow(this); });
    setEnabled(true);
    holdOff(1);
}

void MainWindow::withFrameTimerStopped(const std::function<void()>& run) {
    m_frameTimer.stop();
    run();
    m_frameTimer.start(kFrameIntervalMs, Qt::PreciseTimer, this);
}
