#include "settings/advancedoptions.h"

#include <array>

#include "settings/keytable.h"

namespace {

using Options = AdvancedOptions;

// In the order in which they are written.
constexpr std::array<SettingKey<Options>, 9> kAdvancedKeys{{
    {"vorlauf", KeyKind::Number, &Options::preTriggerSeconds, {0, kMaxPreTriggerSeconds}},
    {"lichtausgleich", KeyKind::Flag, &Options::lightCompensation},
    {"maske", KeyKind::Bytes, &Options::mask},
    {"kameraalarm", KeyKind::Number, &Options::cameraAlarmSeconds, {0, kMaxCameraAlarmSeconds}},
    {"speichergrenze", KeyKind::Number, &Options::storageLimitMb, {0, kMaxStorageLimitMb}},
    {"benachrichtigung", KeyKind::Flag, &Options::desktopNotification},
    {"referenz", KeyKind::Flag, &Options::backgroundReference},
    {"referenzzeit",
     KeyKind::Number,
     &Options::backgroundSeconds,
     {kMinBackgroundSeconds, kMaxBackgroundSeconds}},
    {"autostart", KeyKind::Flag, &Options::autostart},
}};

}  // namespace

AdvancedOptions loadAdvancedOptions(const std::string& settingsFile) {
    AdvancedOptions options;
    SettingsFile file;
    file.open(settingsFile);
    if (file.selectGroup(kAdvancedGroup))
        readKeys(file, kAdvancedKeys, options);
    return options;
}

void saveAdvancedOptions(const AdvancedOptions& options, const std::string& settingsFile) {
    SettingsFile file;
    if (openForWriting(file, settingsFile, kAdvancedGroup))
        writeKeys(file, kAdvancedKeys, options);
}
