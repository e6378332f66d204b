#include "settings/settingskeys.h"

#include <array>

#include "settings/keytable.h"

namespace {

using General = GeneralSettings;

// In the order in which they are written at shutdown, which is the order of the lines in a
// file that this step makes. The numbers are not kept within ranges here: their gadgets do.
constexpr std::array<SettingKey<General>, 22> kGeneralKeys{{
    {"hspiegeln", KeyKind::Number, &General::mirror},
    {"uhrzeit1", KeyKind::Bytes, &General::slotTimes, {}, 0},
    {"uhrzeit2", KeyKind::Bytes, &General::slotTimes, {}, 1},
    {"uhrzeit3", KeyKind::Bytes, &General::slotTimes, {}, 2},
    {"uhrzeit4", KeyKind::Bytes, &General::slotTimes, {}, 3},
    {"hinweiston", KeyKind::Number, &General::beep},
    {"sound", KeyKind::Number, &General::sound},
    {"audioinfos", KeyKind::Number, &General::audioInfo},
    {"sounddatei", KeyKind::Bytes, &General::soundFile},
    {"videolaenge", KeyKind::Number, &General::clipLength},
    {"warten", KeyKind::Number, &General::wait},
    {"eplayer", KeyKind::Number, &General::ownPlayer},
    {"novideo", KeyKind::Number, &General::countOnly},
    {"upload", KeyKind::Number, &General::upload},
    {"server", KeyKind::Bytes, &General::server},
    {"user", KeyKind::Credential, &General::user},
    {"pass", KeyKind::Credential, &General::password},
    {"picname", KeyKind::Bytes, &General::pictureName},
    {"toolbild", KeyKind::Number, &General::pictureTool},
    {"toolvideo", KeyKind::Number, &General::videoTool},
    {"editbild", KeyKind::Bytes, &General::pictureToolCommand},
    {"editvideo", KeyKind::Bytes, &General::videoToolCommand},
}};

// Each followed by the slot's number.
constexpr std::array<SettingKey<SlotValues>, 3> kSlotKeys{{
    {"helligkeit", KeyKind::Number, &SlotValues::brightness},
    {"empfindlichkeit", KeyKind::Number, &SlotValues::sensitivity},
    {"ausloeser", KeyKind::Number, &SlotValues::trigger},
}};

}  // namespace

GeneralSettings readGeneralSettings(const std::string& settingsFile) {
    SettingsFile file;
    file.open(settingsFile);
    file.selectGroup(kOptionsGroup);
    GeneralSettings settings;
    readKeys(file, kGeneralKeys, settings);
    return settings;
}

void writeGeneralSettings(const GeneralSettings& settings, const std::string& settingsFile) {
    SettingsFile file;
    if (openForWriting(file, settingsFile, kOptionsGroup))
        writeKeys(file, kGeneralKeys, settings);
}

SlotValues readSlotValues(int slot, const std::string& settingsFile) {
    SettingsFile file;
    file.open(settingsFile);
    file.selectGroup(kOptionsGroup);
    SlotValues values;
    readKeys(file, kSlotKeys, values, std::to_string(slot));
    return values;
}

void writeSlotValues(int slot, const SlotValues& values, const std::string& settingsFile) {
    SettingsFile file;
    if (!openForWriting(file, settingsFile, kOptionsGroup))
        return;
    writeKeys(file, kSlotKeys, values, std::to_string(slot));
    file.closeWithoutWaiting();
}

void writeEverySlot(const SlotValues& values, const std::string& settingsFile) {
    SettingsFile file;
    if (!openForWriting(file, settingsFile, kOptionsGroup))
        return;
    for (int slot = 0; slot < kSlotCount; ++slot)
        writeKeys(file, kSlotKeys, values, std::to_string(slot));
}
