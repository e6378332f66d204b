#pragma once

#include <functional>
#include <optional>

#include "app/optionfields.h"
#include "app/remotealarmtest.h"
#include "outputs/copysender.h"
#include "outputs/outbox.h"
#include "settings/copyoptions.h"

class QWidget;

using CopyFields = OptionFields<CopyOptions>;

// What the copy's page needs of the main window.
struct CopyPageServices {
    // The target of options as they stand, the minute upload's values taken in.
    std::function<CopyTarget(const CopyOptions&)> target;
    // What waits of the copies; none while they are off.
    std::function<std::optional<OutboxState>()> state;
};

// The page "Kopie": the switch, the server and its protocol, the login, the folder, the
// pinned fingerprint (shown, forgotten on demand), "Verbindung testen", and the copies
// waiting, read anew every second.
QWidget* copyPage(CopyFields& fields, const CopyPageServices& services,
                  const RemoteAlarmTestServices& test);
