#include "settings/remotealarmevents.h"

#include <array>

#include "settings/keytable.h"

namespace {

using Events = RemoteAlarmEvents;

constexpr std::array<SettingKey<Events>, 3> kEventKeys{{
    {"mail", KeyKind::Bytes, &Events::mail},
    {"push", KeyKind::Bytes, &Events::push},
    {"mqtt", KeyKind::Bytes, &Events::mqtt},
}};

}  // namespace

RemoteAlarmEvents loadRemoteAlarmEvents(const std::string& settingsFile) {
    RemoteAlarmEvents events;
    SettingsFile file;
    file.open(settingsFile);
    if (file.selectGroup(kRemoteAlarmEventsGroup))
        readKeys(file, kEventKeys, events);
    return events;
}

void saveRemoteAlarmEvents(const RemoteAlarmEvents& events, const std::string& settingsFile) {
    SettingsFile file;
    file.open(settingsFile);
    if (events == RemoteAlarmEvents{} && !file.selectGroup(kRemoteAlarmEventsGroup))
        return;
    if (openForWriting(file, settingsFile, kRemoteAlarmEventsGroup))
        writeKeys(file, kEventKeys, events);
}
