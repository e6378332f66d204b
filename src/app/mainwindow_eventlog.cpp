#include "app/mainwindow.h"

#include <QImage>
#include <QString>

#include <cmath>
#include <filesystem>

#include "app/eventlogwindow.h"
#include "app/windowplacement.h"
#include "detection/cliprequest.h"
#include "detection/datetemplate.h"
#include "detection/frameprocessor.h"
#include "media/camera.h"
#include "outputs/desktopnotification.h"
#include "outputs/eventlog.h"

namespace {

std::string fileName(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

}  // namespace

void MainWindow::connectEventLog() {
    connect(m_camera, &Camera::captureStatus, this, [this](int status, const QString& text) {
        if (status != kCaptureEnds)
            return;
        const std::string clip = fileName(m_triggerActions->lastVideoPath());
        if (text.isEmpty())
            logEvent({"Video fertig", clip});
        else
            logEvent({"Video fehlgeschlagen", clip, text.toStdString()});
        keepStorageLimit();
    });
    connect(m_camera, &Camera::deliveryStopped, this, [this] { logEvent({"Kamera verloren"}); });
    connect(m_camera, &Camera::deliveryResumed, this, [this](int reconnections) {
        logEvent({"Kamera wieder da",
                  "nach " + std::to_string(reconnections) +
                      (reconnections == 1 ? " Verbindungsversuch" : " Verbindungsversuchen")});
    });
}

void MainWindow::showEventLog() {
    if (!m_eventLogWindow)
        m_eventLogWindow = std::make_unique<EventLogWindow>(m_eventLog->path(), this);
    m_eventLogWindow->reload();
    if (!m_eventLogWindow->isVisible())
        placeBeside(*m_eventLogWindow, *this);
    m_eventLogWindow->show();
    m_eventLogWindow->raise();
    m_eventLogWindow->activateWindow();
}

void MainWindow::onEventWritten() {
    if (m_eventLogWindow)
        m_eventLogWindow->refreshSoon();
}

void MainWindow::logEvent(const std::vector<std::string>& fields) {
    m_eventLog->write(localNow(), fields);
}

void MainWindow::reportTrigger(const TriggerOutcome& outcome) {
    const std::string share =
        std::to_string(std::lround(m_frameProcessor->lastChangePercent())) + " %";
    if (m_advancedOptions.desktopNotification) {
        m_desktopNotifier->notifyMotion(
            m_clock.ticksMs(),
            QString::fromStdString(formatDateTemplate(kDateTimeTemplate, localNow()) + " – " +
                                   share + " des Bildes verändert"),
            [this] {
                const std::optional<CameraFrame> frame = m_camera->grabFrame();
                if (!frame)
                    return QImage();
                const FrameView& view = frame->view;
                // Blue, green, red, unused: Qt's RGB32 on a little-endian machine.
                return QImage(view.pixels, view.width, view.height, view.stride,
                              QImage::Format_RGB32)
                    .copy();
            });
    }
    switch (outcome.kind) {
        case TriggerOutcome::Kind::AlarmOnly:
            logEvent({"Auslösung", share});
            break;
        case TriggerOutcome::Kind::Counted:
            logEvent({"Auslösung", share, "gezählt: " + outcome.detail});
            break;
        case TriggerOutcome::Kind::ClipStarted:
            logEvent({"Auslösung", share, "Video " + fileName(outcome.detail)});
            break;
        case TriggerOutcome::Kind::ClipUnderWay:
            logEvent({"Auslösung", share, "während Video " + fileName(outcome.detail)});
            break;
    }
}
