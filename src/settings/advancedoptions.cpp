#include "settings/advancedoptions.h"

#include <algorithm>

#include "settings/settingsfile.h"

AdvancedOptions loadAdvancedOptions(const std::string& settingsFile) {
    AdvancedOptions options;
    SettingsFile file;
    file.open(settingsFile);
    if (!file.selectGroup(kAdvancedGroup))
        return options;
    options.preTriggerSeconds =
        std::clamp(file.readNumber("vorlauf", options.preTriggerSeconds), 0, kMaxPreTriggerSeconds);
    options.lightCompensation = file.readNumber("lichtausgleich", 0) != 0;
    options.mask = file.readBytes("maske", "");
    options.cameraAlarmSeconds =
        std::clamp(file.readNumber("kameraalarm", 0), 0, kMaxCameraAlarmSeconds);
    options.storageLimitMb =
        std::clamp(file.readNumber("speichergrenze", 0), 0, kMaxStorageLimitMb);
    options.desktopNotification = file.readNumber("benachrichtigung", 0) != 0;
    options.backgroundReference = file.readNumber("referenz", 0) != 0;
    options.backgroundSeconds =
        std::clamp(file.readNumber("referenzzeit", options.backgroundSeconds),
                   kMinBackgroundSeconds, kMaxBackgroundSeconds);
    return options;
}

void saveAdvancedOptions(const AdvancedOptions& options, const std::string& settingsFile) {
    SettingsFile file;
    if (!file.open(settingsFile) && !file.create(settingsFile))
        return;
    file.selectGroup(kAdvancedGroup);
    file.writeNumber("vorlauf", options.preTriggerSeconds);
    file.writeNumber("lichtausgleich", options.lightCompensation ? 1 : 0);
    file.writeBytes("maske", options.mask);
    file.writeNumber("kameraalarm", options.cameraAlarmSeconds);
    file.writeNumber("speichergrenze", options.storageLimitMb);
    file.writeNumber("benachrichtigung", options.desktopNotification ? 1 : 0);
    file.writeNumber("referenz", options.backgroundReference ? 1 : 0);
    file.writeNumber("referenzzeit", options.backgroundSeconds);
}
