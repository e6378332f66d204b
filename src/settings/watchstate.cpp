#include "settings/watchstate.h"

#include <array>

#include "settings/advancedoptions.h"
#include "settings/keytable.h"

namespace {

constexpr std::array<SettingKey<WatchState>, 2> kWatchKeys{{
    {"kamera", KeyKind::Bytes, &WatchState::camera},
    {"ueberwachung", KeyKind::Flag, &WatchState::watching},
}};

}  // namespace

WatchState loadWatchState(const std::string& settingsFile) {
    WatchState state;
    SettingsFile file;
    file.open(settingsFile);
    if (file.selectGroup(kAdvancedGroup))
        readKeys(file, kWatchKeys, state);
    return state;
}

void saveWatchState(const WatchState& state, const std::string& settingsFile) {
    SettingsFile file;
    if (openForWriting(file, settingsFile, kAdvancedGroup))
        writeKeys(file, kWatchKeys, state);
}
