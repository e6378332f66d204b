#include "app/mainwindow.h"

#include <QThreadPool>

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "app/gadgettable.h"
#include "app/remotealarmdialog.h"
#include "app/version.h"
#include "media/camera.h"
#include "outputs/remotealarm.h"
#include "outputs/snapshot.h"
#include "outputs/testsend.h"
#include "settings/copyoptions.h"
#include "settings/remotealarmevents.h"
#include "settings/remotealarmoptions.h"

CopyTarget MainWindow::copyTarget(const CopyOptions& options) const {
    // The minute upload's fields as they stand, for FTP's empty server, user and password.
    return copyTargetOf(options, m_gadgets->storedText(Gadget::serverField),
                        m_gadgets->storedText(Gadget::userField),
                        m_gadgets->storedText(Gadget::passwordField));
}

void MainWindow::copyClipPart(const std::string& clipName, int index, const std::string& partFile) {
    if (m_remoteAlarm)
        m_remoteAlarm->copyClipPart(clipName, index, partFile);
}

void MainWindow::copyClip(const std::string& clipPath) {
    if (m_remoteAlarm)
        m_remoteAlarm->copyClip(clipPath);
}

// Parts are cut from a clip being recorded only for its copy; they wait in a folder of their
// own beside the settings until they are on the server.
std::string MainWindow::clipPartFolder() const {
    const std::filesystem::path folder =
        std::filesystem::path(m_settingsFile).parent_path() / "Videoteile";
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "sentello: no parts of clips for their copy: %s: %s\n", folder.c_str(),
                     std::generic_category().message(errno).c_str());
        return {};
    }
    return folder.string() + '/';
}

void MainWindow::startRemoteAlarm() {
    std::string failure;
    const CopyOptions copy = loadCopyOptions(m_settingsFile);
    m_remoteAlarm = RemoteAlarm::start(
        {.options = loadRemoteAlarmOptions(m_settingsFile),
         .copy = copy.on ? std::optional(copyTarget(copy)) : std::nullopt,
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
    m_camera->setClipParts(copy.on && m_remoteAlarm ? clipPartFolder() : std::string());
}

std::string MainWindow::captionedPicture() {
    const std::optional<CameraFrame> frame = m_camera->grabFrame();
    if (!frame)
        return {};
    return makeSnapshot(frame->view, snapshotCaption(versionText, m_clock.localNow(),
                                                     m_triggerActions->lastTriggerText()));
}

void MainWindow::onRemoteAlarmClicked() {
    const RemoteAlarmChoice current{loadRemoteAlarmOptions(m_settingsFile),
                                    loadRemoteAlarmEvents(m_settingsFile),
                                    loadCopyOptions(m_settingsFile)};
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
        },
        .copy = {.target = [this](const CopyOptions& options) { return copyTarget(options); },
                 .state = [this]() -> std::optional<OutboxState> {
                     if (!m_remoteAlarm || !loadCopyOptions(m_settingsFile).on)
                         return std::nullopt;
                     return m_remoteAlarm->copyState();
                 }}};
    std::optional<RemoteAlarmChoice> chosen;
    withDialogOpen([&] { chosen = editRemoteAlarm(this, current, services); });
    if (!chosen || (chosen->options == current.options && chosen->events == current.events &&
                    chosen->copy == current.copy))
        return;
    if (chosen->options != current.options)
        saveRemoteAlarmOptions(chosen->options, m_settingsFile);
    if (chosen->events != current.events)
        saveRemoteAlarmEvents(chosen->events, m_settingsFile);
    if (chosen->copy != current.copy)
        saveCopyOptions(chosen->copy, m_settingsFile);
    // The old outbox ends (after a send under way) before the new one opens the same folder:
    // two would send the same messages.
    m_remoteAlarm.reset();
    startRemoteAlarm();
}
