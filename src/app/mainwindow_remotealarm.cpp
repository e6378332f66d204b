#include "app/mainwindow.h"

#include <QThreadPool>

#include <cstdio>

#include "app/gadgettable.h"
#include "app/remotealarmdialog.h"
#include "app/version.h"
#include "media/camera.h"
#include "outputs/remotealarm.h"
#include "outputs/snapshot.h"
#include "outputs/testsend.h"
#include "settings/remotealarmevents.h"
#include "settings/remotealarmoptions.h"

void MainWindow::startRemoteAlarm() {
    std::string failure;
    m_remoteAlarm = RemoteAlarm::start(
        {.options = loadRemoteAlarmOptions(m_settingsFile),
         .settingsFile = m_settingsFile,
         .profile = m_profile,
         .picture = [this] { return captionedPicture(); },
         // Told on the outbox's own thread; the stream takes reports from any thread.
         .report = [this](const WatchEvent& event) { m_watchEvents.report(event); }},
        failure);
    if (!failure.empty()) {
        std::fprintf(stderr, "sentello: the remote alarm's outbox cannot be used: %s\n",
                     failure.c_str());
        m_watchEvents.report({.kind = WatchEvent::Kind::RemoteAlarmReport,
                              .step = "Ausgang nicht nutzbar",
                              .reason = failure});
    }
}

std::string MainWindow::captionedPicture() {
    const std::optional<CameraFrame> frame = m_camera->grabFrame();
    if (!frame)
        return {};
    return makeSnapshot(frame->view, snapshotCaption(versionText, m_clock.localNow(),
                                                     m_triggerActions->lastTriggerText()));
}

void MainWindow::onRemoteAlarmClicked() {
    const RemoteAlarmOptions options = loadRemoteAlarmOptions(m_settingsFile);
    const RemoteAlarmEvents events = loadRemoteAlarmEvents(m_settingsFile);
    if (!m_testSends)
        m_testSends = std::make_unique<QThreadPool>();
    // A test tells the watch's state, so the owner sees at once whether it is on.
    const auto testMessage = [this](AlertChannel channel) {
        return makeTestMessage(channel,
                               {.kind = WatchEvent::Kind::WatchSwitched,
                                .when = m_clock.localNow(),
                                .on = m_gadgets->state(Gadget::recordModeCheck) != 0},
                               captionedPicture(), m_profile, OutboxClocks().wallMs());
    };
    const RemoteAlarmDialogServices services{
        .test = {.message = testMessage, .profile = m_profile, .pool = m_testSends.get()},
        .outboxState = [this]() -> std::optional<OutboxState> {
            if (!m_remoteAlarm)
                return std::nullopt;
            return m_remoteAlarm->outboxState();
        }};
    std::optional<RemoteAlarmChoice> chosen;
    withDialogOpen([&] { chosen = editRemoteAlarm(this, options, events, services); });
    if (!chosen || (chosen->options == options && chosen->events == events))
        return;
    if (chosen->options != options)
        saveRemoteAlarmOptions(chosen->options, m_settingsFile);
    if (chosen->events != events)
        saveRemoteAlarmEvents(chosen->events, m_settingsFile);
    // The old outbox ends (after a send under way) before the new one opens the same folder:
    // two would send the same messages.
    m_remoteAlarm.reset();
    startRemoteAlarm();
}
