#include "app/mainwindow.h"

#include "app/statusdisplay.h"
#include "app/wallclockminutes.h"
#include "detection/triggeractions.h"
#include "media/camera.h"

void MainWindow::connectFrameTimer() {
    for (QTimer* deadline : {&m_runTimer, &m_minuteTimer, &m_cameraWatchTimer}) {
        deadline->setSingleShot(true);
        deadline->setTimerType(Qt::PreciseTimer);
    }
    connect(&m_runTimer, &QTimer::timeout, this, &MainWindow::runFrameTimer);
    connect(&m_minuteTimer, &QTimer::timeout, this, &MainWindow::takeDueSteps);
    connect(&m_cameraWatchTimer, &QTimer::timeout, this, &MainWindow::takeDueSteps);
    connect(m_camera, &Camera::pictureArrived, this, &MainWindow::runArrivedPicture);
    // The camera's last picture is no more to be had: the ticks from now on find none.
    connect(m_camera, &Camera::deliveryStopped, this,
            [this] { m_frameTimer.losePicture(m_clock.ticksMs(), runsHeld()); });
}

void MainWindow::startFrameTimer() {
    const std::int64_t now = m_clock.ticksMs();
    m_frameTimer.start(now);
    m_minuteMark = now;
    // The camera watch starts now, as if a picture had just come.
    watchCamera(now);
    m_wallClockMinutes = std::make_unique<WallClockMinutes>();
    connect(m_wallClockMinutes.get(), &WallClockMinutes::minuteBegan, this,
            &MainWindow::takeDueSteps);
    scheduleRun();
    takeDueStepsSoon();
}

void MainWindow::stopWatching() {
    m_frameTimer.stop();
    for (QTimer* deadline : {&m_runTimer, &m_minuteTimer, &m_cameraWatchTimer})
        deadline->stop();
    m_wallClockMinutes.reset();
    disconnect(m_captureStatusConnection);
}

void MainWindow::withFrameTimerStopped(const std::function<void()>& run) {
    m_frameTimer.stop();
    run();
    m_frameTimer.start(m_clock.ticksMs());
    scheduleRun();
    takeDueStepsSoon();
}

bool MainWindow::runsHeld() const {
    return m_state.recordingActive || m_triggerActions->clipUnderWay() || m_dialogOpen;
}

void MainWindow::countPassedTicks() {
    m_frameTimer.countPassedTicks(m_clock.ticksMs(), runsHeld());
}

void MainWindow::holdOff(int frames) {
    m_frameTimer.holdOff(m_clock.ticksMs(), frames, runsHeld());
    scheduleOwedRun();
}

void MainWindow::scheduleRun() {
    if (m_frameTimer.running())
        runIn(m_frameTimer.msUntilRun(m_clock.ticksMs()));
}

void MainWindow::runArrivedPicture() {
    if (!m_frameTimer.running())
        return;
    // Most pictures come when their tick is due: they are run at once, not on a timer of no wait.
    if (m_frameTimer.msUntilRun(m_clock.ticksMs()) == 0)
        runFrameTimer();
    else
        scheduleRun();
}

void MainWindow::scheduleOwedRun() {
    if (const std::optional<std::int64_t> wait = m_frameTimer.msUntilOwedRun(m_clock.ticksMs()))
        runIn(*wait);
}

void MainWindow::runIn(std::int64_t ms) {
    if (!m_runTimer.isActive() || m_runTimer.remainingTime() > ms)
        m_runTimer.start(static_cast<int>(ms));
}

void MainWindow::runFrameTimer() {
    if (m_frameTimer.runIfDue(m_clock.ticksMs(), runsHeld()))
        scheduleOwedRun();
    else
        scheduleRun();  // woken before the tick's period began
}

bool MainWindow::runDetection(bool compares) {
    // This run takes the newest picture, for which a run may have been scheduled.
    m_runTimer.stop();
    // While a clip is under way, a dialog is open or the detection rests after a trigger, the
    // live picture goes on but no frame is compared.
    const bool picture = compares ? processFrame() : showFrame();
    m_statusDisplay->showRecording(m_state.recordingActive);
    watchCamera(m_clock.ticksMs());
    // The wall clock's timer hears of a clock that was set, but not of another time zone: a
    // look at the clock costs a run next to nothing.
    if (!m_dialogOpen)
        clockCheck();
    return picture;
}

void MainWindow::takeDueSteps() {
    if (!m_frameTimer.running())
        return;
    const std::int64_t now = m_clock.ticksMs();
    m_frameTimer.passTickDueNow(now, runsHeld());
    watchCamera(now);
    // A dialog holds the minute and the clock too, as any modal window does; they are taken
    // when it closes.
    if (m_dialogOpen)
        return;
    minuteStep(now);
    clockCheck();
    armMinuteStep();
}

void MainWindow::takeDueStepsSoon() {
    QTimer::singleShot(0, this, &MainWindow::takeDueSteps);
}

void MainWindow::armMinuteStep() {
    // The minute step comes with the first tick more than a minute after the last.
    const std::int64_t due = m_frameTimer.firstTickAfter(m_minuteMark + kMinuteStepMs);
    m_minuteTimer.start(static_cast<int>(std::max<std::int64_t>(due - m_clock.ticksMs(), 0)));
}

void MainWindow::armCameraWatch() {
    const std::optional<std::int64_t> due = m_cameraWatch.lossDueMs();
    if (!due) {
        m_cameraWatchTimer.stop();
        return;
    }
    // Pictures move the loss on; the watch looks again when the one it waits for is due.
    if (!m_cameraWatchTimer.isActive()) {
        m_cameraWatchTimer.start(
            static_cast<int>(std::max<std::int64_t>(*due - m_clock.ticksMs(), 0)));
    }
}
