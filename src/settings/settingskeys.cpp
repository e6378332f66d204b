#include "settings/settingskeys.h"

#include <array>

#include "settings/credentialscrambling.h"
#include "settings/gadgetaccess.h"
#include "settings/settingsfile.h"
#include "settings/storedtext.h"

namespace {

enum class KeyKind { Number, Text, SlotTime, Credential };

struct GeneralKey {
    const char* key;
    KeyKind kind;
    Gadget gadget;
    int defaultNumber = 0;
    const char* defaultText = "";
    int slot = 0;  // slot times only
};

using enum Gadget;

// In the order in which they are written at shutdown, which is the order of the lines in a
// file that this step makes. They are read in the same order; reading writes nothing, so its
// order cannot be seen.
constexpr std::array kGeneralKeys = {
    GeneralKey{"hspiegeln", KeyKind::Number, mirrorCheck, 1},
    GeneralKey{"uhrzeit1", KeyKind::SlotTime, slotTabs, 0, "06:00", 0},
    GeneralKey{"uhrzeit2", KeyKind::SlotTime, slotTabs, 0, "11:00", 1},
    GeneralKey{"uhrzeit3", KeyKind::SlotTime, slotTabs, 0, "18:00", 2},
    GeneralKey{"uhrzeit4", KeyKind::SlotTime, slotTabs, 0, "22:00", 3},
    GeneralKey{"hinweiston", KeyKind::Number, beepCheck},
    GeneralKey{"sound", KeyKind::Number, soundCheck},
    GeneralKey{"audioinfos", KeyKind::Number, audioInfoCheck},
    GeneralKey{"sounddatei", KeyKind::Text, soundFileField},
    GeneralKey{"videolaenge", KeyKind::Number, clipLengthSpin, 5},
    GeneralKey{"warten", KeyKind::Number, waitSpin, 3},
    GeneralKey{"eplayer", KeyKind::Number, ownPlayerCheck},
    GeneralKey{"novideo", KeyKind::Number, countOnlyCheck},
    GeneralKey{"upload", KeyKind::Number, uploadCheck},
    GeneralKey{"server", KeyKind::Text, serverField},
    GeneralKey{"user", KeyKind::Credential, userField},
    GeneralKey{"pass", KeyKind::Credential, passwordField},
    GeneralKey{"picname", KeyKind::Text, pictureNameField},
    GeneralKey{"toolbild", KeyKind::Number, pictureToolCheck},
    GeneralKey{"toolvideo", KeyKind::Number, videoToolCheck},
    GeneralKey{"editbild", KeyKind::Text, pictureToolField},
    GeneralKey{"editvideo", KeyKind::Text, videoToolField},
};

struct SlotKey {
    const char* word;
    Gadget slider;
    int defaultValue;
};

constexpr std::array kSlotKeys = {
    SlotKey{"helligkeit", brightnessSlider, 128},
    SlotKey{"empfindlichkeit", sensitivitySlider, 50},
    SlotKey{"ausloeser", triggerSlider, 25},
};

std::string slotKey(const SlotKey& key, int slot) {
    return key.word + std::to_string(slot);
}

QString slotTimeFromBytes(const std::string& bytes) {
    return QString::fromStdString(textFromStoredBytes(bytes));
}

// Opens the file for writing, making it when missing; false when neither works.
bool openForWriting(SettingsFile& file, const std::string& path) {
    if (!file.open(path) && !file.create(path))
        return false;
    file.selectGroup(kOptionsGroup);
    return true;
}

void writeSlot(SettingsFile& file, const GadgetAccess& gadgets, int slot) {
    for (const SlotKey& key : kSlotKeys) {
        file.writeNumber(slotKey(key, slot), gadgets.state(key.slider));
    }
}

}  // namespace

void loadGeneralSettings(GadgetAccess& gadgets, const std::string& settingsFile) {
    SettingsFile file;
    file.open(settingsFile);
    file.selectGroup(kOptionsGroup);
    for (const GeneralKey& key : kGeneralKeys) {
        switch (key.kind) {
            case KeyKind::Number:
                gadgets.setState(key.gadget, file.readNumber(key.key, key.defaultNumber));
                break;
            case KeyKind::Text:
                gadgets.setStoredText(key.gadget, file.readBytes(key.key, key.defaultText));
                break;
            case KeyKind::SlotTime:
                gadgets.setItemText(key.gadget, key.slot,
                                    slotTimeFromBytes(file.readBytes(key.key, key.defaultText)));
                break;
            case KeyKind::Credential:
                gadgets.setStoredText(
                    key.gadget, unscrambleCredential(file.readBytes(key.key, ""), credentialKey));
                break;
        }
    }
}

void saveGeneralSettings(const GadgetAccess& gadgets, const std::string& settingsFile) {
    SettingsFile file;
    if (!openForWriting(file, settingsFile))
        return;
    for (const GeneralKey& key : kGeneralKeys) {
        switch (key.kind) {
            case KeyKind::Number:
                file.writeNumber(key.key, gadgets.state(key.gadget));
                break;
            case KeyKind::Text:
                file.writeBytes(key.key, gadgets.storedText(key.gadget));
                break;
            case KeyKind::SlotTime:
                file.writeBytes(key.key, gadgets.itemText(key.gadget, key.slot).toStdString());
                break;
            case KeyKind::Credential:
                file.writeBytes(key.key,
                                scrambleCredential(gadgets.storedText(key.gadget), credentialKey));
                break;
        }
    }
}

void loadSlotValues(GadgetAccess& gadgets, const std::string& settingsFile) {
    SettingsFile file;
    file.open(settingsFile);
    file.selectGroup(kOptionsGroup);
    const int slot = gadgets.state(slotTabs);
    for (const SlotKey& key : kSlotKeys) {
        gadgets.setState(key.slider, file.readNumber(slotKey(key, slot), key.defaultValue));
    }
    file.close();
    showSliderValues(gadgets);
}

void saveSlotValues(const GadgetAccess& gadgets, const std::string& settingsFile) {
    SettingsFile file;
    if (!openForWriting(file, settingsFile))
        return;
    writeSlot(file, gadgets, gadgets.state(slotTabs));
    // A slider dragged writes at every step: the disk's time is not the detection's.
    file.closeWithoutWaiting();
}

void resetAllSlots(GadgetAccess& gadgets, const std::string& settingsFile) {
    for (const GeneralKey& key : kGeneralKeys) {
        if (key.kind == KeyKind::SlotTime) {
            gadgets.setItemText(slotTabs, key.slot, QString::fromUtf8(key.defaultText));
        }
    }
    for (const SlotKey& key : kSlotKeys)
        gadgets.setState(key.slider, key.defaultValue);
    showSliderValues(gadgets);

    SettingsFile file;
    if (!openForWriting(file, settingsFile))
        return;
    for (int slot = 0; slot < kSlotCount; ++slot)
        writeSlot(file, gadgets, slot);
}

void showSliderValues(GadgetAccess& gadgets) {
    gadgets.setText(brightnessLabel, QStringLiteral("Helligkeit: ") +
                                         QString::number(gadgets.state(brightnessSlider)));
    gadgets.setText(sensitivityLabel, QStringLiteral("Empfindlichkeit: ") +
                                          QString::number(gadgets.state(sensitivitySlider)));
    gadgets.setText(triggerLabel, QStringLiteral("Auslöser (Prozent): ") +
                                      QString::number(gadgets.state(triggerSlider)));
}
