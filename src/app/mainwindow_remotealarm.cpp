#include "app/mainwindow.h"

#include <cstdio>

#include "app/version.h"
#include "media/camera.h"
#include "outputs/remotealarm.h"
#include "outputs/snapshot.h"
#include "settings/remotealarmoptions.h"

void MainWindow::startRemoteAlarm() {
    std::string failure;
    m_remoteAlarm = RemoteAlarm::start(
        {.options = loadRemoteAlarmOptions(m_settingsFile),
         .settingsFile = m_settingsFile,
         .profile = m_profile,
         // The picture of the trigger, captioned as the minute's picture is.
         .picture =
             [this] {
                 const std::optional<CameraFrame> frame = m_camera->grabFrame();
                 if (!frame)
                     return std::string();
                 return makeSnapshot(frame->view,
                                     snapshotCaption(versionText, m_clock.localNow(),
                                                     m_triggerActions->lastTriggerText()));
             },
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
