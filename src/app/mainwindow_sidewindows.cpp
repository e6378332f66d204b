#include "app/mainwindow.h"

#include "app/aboutwindow.h"

void MainWindow::onAboutClicked() {
    setEnabled(false);
    withFrameTimerStopped([this] { showAboutWindow(this); });
    setEnabled(true);
    holdOff(1);
}
