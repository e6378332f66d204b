#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "outputs/alertdispatch.h"
#include "outputs/clipcopies.h"
#include "outputs/copysender.h"
#include "outputs/outbox.h"
#include "settings/remotealarmoptions.h"

// The remote alarm as the group "Fernalarm" sets it: a sender for each channel switched on,
// the outbox they send from (beside the settings file), and the dispatch of the watch's events
// into it; and, as the group "Kopie" sets it, the copies of each trigger's picture and of the
// clips to a server off the premises, through the same outbox.
class RemoteAlarm {
public:
    struct Setup {
        RemoteAlarmOptions options;
        // Where the copies go; none when they are switched off.
        std::optional<CopyTarget> copy;
        std::string settingsFile;
        // The profile's name, when one is used.
        std::string profile;
        // The captioned JPEG of the picture now; empty when the camera has none.
        std::function<std::string()> picture;
        // What the outbox has to say, told on its own thread, in the event's form: the kind
        // RemoteAlarmReport.
        std::function<void(const WatchEvent&)> report;
    };

    // None when no channel is switched on and no copy. When the outbox's folder cannot be used,
    // none either, and `failure` says why: a remote alarm that cannot keep its messages would lose
    // them.
    static std::unique_ptr<RemoteAlarm> start(Setup setup, std::string& failure);

    // On the main thread, as the stream of events delivers them.
    void onWatchEvent(const WatchEvent& event);
    // A part of a clip still being written, and a whole clip (a clip finished is copied
    // without being named here): on the main thread; nothing while the copies are off.
    void copyClipPart(const std::string& clipName, int index, const std::string& partFile);
    void copyClip(const std::string& clipPath);
    // For the dialog: what waits in the outbox for the alarm's channels, and of the copies.
    OutboxState outboxState() const;
    OutboxState copyState() const;

    RemoteAlarm(std::unique_ptr<Outbox> outbox, AlertDispatch dispatch,
                std::unique_ptr<ClipCopies> copies);

private:
    std::unique_ptr<Outbox> m_outbox;
    AlertDispatch m_dispatch;
    std::unique_ptr<ClipCopies> m_copies;
};

// The sender of one channel as the options set it up, whether the channel is switched on or
// not (the dialog tests a channel before it is).
// A test's sender leaves what stands for the running program alone (MQTT's connection and
// status).
enum class SenderUse { Alarm, Test };
std::unique_ptr<AlertSender> makeAlertSender(AlertChannel channel,
                                             const RemoteAlarmOptions& options,
                                             const std::string& profile, SenderUse use);

// What an outbox report says, as the event log writes it: "Fernalarm", what happened, the
// channel, and the reason where there is one.
WatchEvent remoteAlarmReport(const OutboxReport& report);
