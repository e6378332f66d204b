#pragma once

#include <string>

class GadgetAccess;

// The settings of the group "Optionen" as the window's gadgets show them: the values of
// GeneralSettings and SlotValues copied into the gadgets and out of them.

// General options: read once at start-up into the gadgets, written once at shutdown.
void loadGeneralSettings(GadgetAccess& gadgets, const std::string& settingsFile);
void saveGeneralSettings(const GadgetAccess& gadgets, const std::string& settingsFile);

// The three detection values of the slot selected in the slot tabs: read into the sliders
// whenever a slot becomes selected, written at once whenever a slider moves (handed to the
// SettingsWriter, which puts them on the disk on its own thread).
void loadSlotValues(GadgetAccess& gadgets, const std::string& settingsFile);
void saveSlotValues(const GadgetAccess& gadgets, const std::string& settingsFile);

// Back to the start times and slider values, and the slider values of all four slots written.
void resetAllSlots(GadgetAccess& gadgets, const std::string& settingsFile);

// "Helligkeit: 128" and the like, from the sliders' positions.
void showSliderValues(GadgetAccess& gadgets);
