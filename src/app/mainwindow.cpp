#include "app/mainwindow.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTimerEvent>

#include "app/version.h"
#include "capture/datetemplate.h"
#include "capture/frameprocessor.h"
#include "capture/statusdisplay.h"

namespace {
constexpr int kFrameIntervalMs = 10;
constexpr qint64 kMinuteMs = 60000;
}  // namespace

MainWindow::MainWindow(DetectionState& state)
    : QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      m_state(state) {
    setWindowTitle(QStringLiteral("Sentello ") + QString::fromUtf8(versionText));
    setFixedSize(800, 480);
    move(QGuiApplication::primaryScreen()->availableGeometry().center() - rect().center());
}

MainWindow::~MainWindow() = default;

void MainWindow::createGadgets(Camera& camera) {
    m_clockLabel = new QLabel(this);
    m_clockLabel->setGeometry(328, 30, 184, 16);
    m_statusDisplay = std::make_unique<StatusDisplay>(this);
    m_frameProcessor = std::make_unique<FrameProcessor>(camera, *m_statusDisplay, m_state);
}

void MainWindow::startFrameTimer() {
    m_minuteMark.start();
    m_frameTimer.start(kFrameIntervalMs, Qt::PreciseTimer, this);
}

void MainWindow::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_frameTimer.timerId()) {
        QWidget::timerEvent(event);
        return;
    }
    // While a clip is written no frame is compared; the minute and the clock go on.
    if (!m_state.recordingActive)
        m_frameProcessor->processFrame(detectionValues());
    minuteStep();
    clockCheck();
}

void MainWindow::minuteStep() {
    if (m_minuteMark.elapsed() <= kMinuteMs)
        return;
    // The picture upload of the recording mode hooks in here; the recording mode cannot be
    // switched on yet, so the minute passes without it.
    m_minuteMark.start();
}

void MainWindow::clockCheck() {
    const std::string clockText = formatDateTemplate("%hh:%ii", localNow());
    if (clockText == m_lastClockText)
        return;
    m_lastClockText = clockText;
    m_clockLabel->setText(QStringLiteral("Aktuelle Systemzeit: ") +
                          QString::fromStdString(clockText));
}
