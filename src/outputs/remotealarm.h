#pragma once

#include <functional>
#include <memory>
#include <string>

#include "outputs/alertdispatch.h"
#include "outputs/outbox.h"
#include "settings/remotealarmoptions.h"

// The remote alarm as the group "Fernalarm" sets it: a sender for each channel switched on,
// the outbox they send from (beside the settings file), and the dispatch of the watch's events
// into it.
class RemoteAlarm {
public:
    struct Setup {
        RemoteAlarmOptions options;
        std::string settingsFile;
        // The profile's name, when one is used.
        std::string profile;
        // The captioned JPEG of the picture now; empty when the camera has none.
        std::function<std::string()> picture;
        // What the outbox has to say, told on its own thread, in the event's form: the kind
        // RemoteAlarmReport.
        std::function<void(const WatchEvent&)> report;
    };

    // None when no channel is switched on. When the outbox's folder cannot be used, none
    // either, and `failure` says why: a remote alarm that cannot keep its messages would lose
    // them.
    static std::unique_ptr<RemoteAlarm> start(Setup setup, std::string& failure);

    // On the main thread, as the stream of events delivers them.
    void onWatchEvent(const WatchEvent& event) { m_dispatch.onWatchEvent(event); }
    // For the dialog: what waits in the outbox.
    OutboxState outboxState() const { return m_outbox->state(); }

    RemoteAlarm(std::unique_ptr<Outbox> outbox, AlertDispatch dispatch);

private:
    std::unique_ptr<Outbox> m_outbox;
    AlertDispatch m_dispatch;
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
