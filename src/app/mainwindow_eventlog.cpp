#include "app/mainwindow.h"

#include <QAbstractButton>
#include <QImage>
#include <QString>

#include <charconv>
#include <filesystem>
#include <system_error>

#include "app/eventlogwindow.h"
#include "app/gadgettable.h"
#include "app/windowplacement.h"
#include "detection/cliprequest.h"
#include "detection/frameprocessor.h"
#include "media/camera.h"
#include "outputs/desktopnotification.h"
#include "outputs/eventlog.h"
#include "outputs/remotealarm.h"
#include "outputs/snapshot.h"

void MainWindow::connectWatchEvents() {
    m_watchEvents.subscribe([this](const WatchEvent& event) {
        if (const std::vector<std::string> fields = eventLogFields(event); !fields.empty())
            m_eventLog->write(event.when, fields);
    });
    m_watchEvents.subscribe([this](const WatchEvent& event) {
        if (m_remoteAlarm)
            m_remoteAlarm->onWatchEvent(event);
    });
    m_watchEvents.subscribe([this](const WatchEvent& event) {
        if (event.kind != WatchEvent::Kind::Trigger || !m_advancedOptions.desktopNotification)
            return;
        m_desktopNotifier->notifyMotion(m_clock.ticksMs(), triggerNotificationText(event), [this] {
            const std::optional<CameraFrame> frame = m_camera->grabFrame();
            if (!frame)
                return QImage();
            return pictureImage(frame->view);
        });
    });

    connect(m_camera, &Camera::captureStatus, this, [this](int status, const QString& text) {
        if (status != kCaptureEnds)
            return;
        const std::string& clip = m_triggerActions->lastVideoPath();
        std::error_code error;
        // A clip cut short (a full disk) keeps what was written: a clip, with the reason.
        if (text.isEmpty() || std::filesystem::exists(clip, error))
            m_watchEvents.report({.kind = WatchEvent::Kind::ClipFinished,
                                  .clipPath = clip,
                                  .reason = text.toStdString()});
        else
            m_watchEvents.report({.kind = WatchEvent::Kind::ClipFailed,
                                  .clipPath = clip,
                                  .reason = text.toStdString()});
        keepStorageLimit();
    });
    connect(m_camera, &Camera::deliveryStopped, this,
            [this] { m_watchEvents.report({.kind = WatchEvent::Kind::CameraLost}); });
    connect(m_camera, &Camera::deliveryResumed, this, [this](int reconnections) {
        m_watchEvents.report(
            {.kind = WatchEvent::Kind::CameraBack, .reconnections = reconnections});
    });
    connect(m_gadgets->as<QAbstractButton>(Gadget::recordModeCheck), &QAbstractButton::clicked,
            this, [this](bool on) {
                m_watchEvents.report({.kind = WatchEvent::Kind::WatchSwitched, .on = on});
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

void MainWindow::reportTrigger(const TriggerOutcome& outcome) {
    WatchEvent event{.kind = WatchEvent::Kind::Trigger,
                     .changePercent = m_frameProcessor->lastChangePercent()};
    switch (outcome.kind) {
        case TriggerOutcome::Kind::AlarmOnly:
            break;
        case TriggerOutcome::Kind::Counted:
            event.effect = WatchEvent::Effect::Counted;
            // The counter's text as the trigger left it: always a whole number.
            std::from_chars(outcome.detail.data(), outcome.detail.data() + outcome.detail.size(),
                            event.count);
            break;
        case TriggerOutcome::Kind::ClipStarted:
            event.effect = WatchEvent::Effect::ClipStarted;
            event.clipPath = outcome.detail;
            break;
        case TriggerOutcome::Kind::ClipUnderWay:
            event.effect = WatchEvent::Effect::DuringClip;
            event.clipPath = outcome.detail;
            break;
    }
    m_watchEvents.report(std::move(event));
}
