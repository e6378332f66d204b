#include "app/gadgetsettings.h"

#include <array>
#include <variant>

#include "app/gadgetaccess.h"
#include "settings/settingskeys.h"
#include "settings/storedtext.h"

namespace {

using General = GeneralSettings;
using enum Gadget;

// A general option and the gadget that shows it: a number is the gadget's state, a text its
// stored text. The slot times are the slot tabs' texts.
struct GadgetField {
    std::variant<int General::*, std::string General::*> member;
    Gadget gadget;
};

// In the order of the keys.
constexpr std::array<GadgetField, 18> kGadgetFields{{
    {&General::mirror, mirrorCheck},
    {&General::beep, beepCheck},
    {&General::sound, soundCheck},
    {&General::audioInfo, audioInfoCheck},
    {&General::soundFile, soundFileField},
    {&General::clipLength, clipLengthSpin},
    {&General::wait, waitSpin},
    {&General::ownPlayer, ownPlayerCheck},
    {&General::countOnly, countOnlyCheck},
    {&General::upload, uploadCheck},
    {&General::server, serverField},
    {&General::user, userField},
    {&General::password, passwordField},
    {&General::pictureName, pictureNameField},
    {&General::pictureTool, pictureToolCheck},
    {&General::videoTool, videoToolCheck},
    {&General::pictureToolCommand, pictureToolField},
    {&General::videoToolCommand, videoToolField},
}};

SlotValues sliderValues(const GadgetAccess& gadgets) {
    return {gadgets.state(brightnessSlider), gadgets.state(sensitivitySlider),
            gadgets.state(triggerSlider)};
}

void showSlotValues(GadgetAccess& gadgets, const SlotValues& values) {
    gadgets.setState(brightnessSlider, values.brightness);
    gadgets.setState(sensitivitySlider, values.sensitivity);
    gadgets.setState(triggerSlider, values.trigger);
    showSliderValues(gadgets);
}

void showSlotTimes(GadgetAccess& gadgets, const GeneralSettings& settings) {
    for (int slot = 0; slot < kSlotCount; ++slot) {
        gadgets.setItemText(slotTabs, slot,
                            QString::fromStdString(textFromStoredBytes(settings.slotTimes[slot])));
    }
}

}  // namespace

void loadGeneralSettings(GadgetAccess& gadgets, const std::string& settingsFile) {
    const GeneralSettings settings = readGeneralSettings(settingsFile);
    showSlotTimes(gadgets, settings);
    for (const GadgetField& field : kGadgetFields) {
        if (const auto* number = std::get_if<int General::*>(&field.member))
            gadgets.setState(field.gadget, settings.**number);
        else
            gadgets.setStoredText(field.gadget,
                                  settings.*std::get<std::string General::*>(field.member));
    }
}

void saveGeneralSettings(const GadgetAccess& gadgets, const std::string& settingsFile) {
    GeneralSettings settings;
    for (int slot = 0; slot < kSlotCount; ++slot)
        settings.slotTimes[slot] = gadgets.itemText(slotTabs, slot).toStdString();
    for (const GadgetField& field : kGadgetFields) {
        if (const auto* number = std::get_if<int General::*>(&field.member))
            settings.** number = gadgets.state(field.gadget);
        else
            settings.*std::get<std::string General::*>(field.member) =
                gadgets.storedText(field.gadget);
    }
    writeGeneralSettings(settings, settingsFile);
}

void loadSlotValues(GadgetAccess& gadgets, const std::string& settingsFile) {
    showSlotValues(gadgets, readSlotValues(gadgets.state(slotTabs), settingsFile));
}

void saveSlotValues(const GadgetAccess& gadgets, const std::string& settingsFile) {
    writeSlotValues(gadgets.state(slotTabs), sliderValues(gadgets), settingsFile);
}

void resetAllSlots(GadgetAccess& gadgets, const std::string& settingsFile) {
    for (int slot = 0; slot < kSlotCount; ++slot) {
        gadgets.setItemText(slotTabs, slot,
                            QString::fromStdString(GeneralSettings{}.slotTimes[slot]));
    }
    showSlotValues(gadgets, SlotValues{});
    // What the sliders show: a slider keeps a value within its own range.
    writeEverySlot(sliderValues(gadgets), settingsFile);
}

void showSliderValues(GadgetAccess& gadgets) {
    gadgets.setText(brightnessLabel, QStringLiteral("Helligkeit: ") +
                                         QString::number(gadgets.state(brightnessSlider)));
    gadgets.setText(sensitivityLabel, QStringLiteral("Empfindlichkeit: ") +
                                          QString::number(gadgets.state(sensitivitySlider)));
    gadgets.setText(triggerLabel, QStringLiteral("Auslöser (Prozent): ") +
                                      QString::number(gadgets.state(triggerSlider)));
}
