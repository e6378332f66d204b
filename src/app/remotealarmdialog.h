#pragma once

#include <functional>
#include <optional>

#include "app/copypage.h"
#include "app/remotealarmtest.h"
#include "outputs/outbox.h"
#include "settings/copyoptions.h"
#include "settings/remotealarmevents.h"
#include "settings/remotealarmoptions.h"

class QWidget;

// What the user chose in the dialog "Fernalarm".
struct RemoteAlarmChoice {
    RemoteAlarmOptions options;
    RemoteAlarmEvents events;
    CopyOptions copy;
};

struct RemoteAlarmDialogServices {
    RemoteAlarmTestServices test;
    // The state of the running remote alarm's outbox; none while no remote alarm runs.
    std::function<std::optional<OutboxState>()> outboxState;
    CopyPageServices copy;
};

// "Fernalarm": a page for each channel (e-mail, push, MQTT) with its fields, the events it
// sends and its test message, the page "Kopie" of the copies off the premises, and below them
// what holds for all channels and the outbox's state, read anew every second. Modal; the
// choice, or none when it was cancelled.
std::optional<RemoteAlarmChoice> editRemoteAlarm(QWidget* parent, const RemoteAlarmChoice& current,
                                                 const RemoteAlarmDialogServices& services);
