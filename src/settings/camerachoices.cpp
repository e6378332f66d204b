#include "settings/camerachoices.h"

#include <algorithm>

#include "settings/settingsfile.h"

namespace {

constexpr const char* kGroup = "Kamera";

}  // namespace

CameraChoices loadCameraChoices(const std::string& settingsFile) {
    SettingsFile file;
    file.open(settingsFile);
    CameraChoices choices;
    if (!file.selectGroup(kGroup))
        return choices;
    choices.formatCamera = file.readText("formatkamera", "");
    choices.width = file.readNumber("breite", 0);
    choices.height = file.readNumber("hoehe", 0);
    choices.rateNumerator = file.readNumber("bildrate", 0);
    choices.rateDenominator = std::max(1, file.readNumber("bildrateteiler", 1));
    choices.codec = file.readText("codec", "mjpeg") == "mpeg4" ? "mpeg4" : "mjpeg";
    choices.quality = std::clamp(file.readNumber("qualitaet", 85), 1, 100);
    if (choices.width <= 0 || choices.height <= 0 || choices.rateNumerator <= 0)
        choices.formatCamera.clear();
    return choices;
}

void saveFormatChoice(const std::string& settingsFile, const CameraChoices& choices) {
    SettingsFile file;
    file.open(settingsFile);
    file.selectGroup(kGroup);
    file.writeText("formatkamera", choices.formatCamera);
    file.writeNumber("breite", choices.width);
    file.writeNumber("hoehe", choices.height);
    file.writeNumber("bildrate", choices.rateNumerator);
    file.writeNumber("bildrateteiler", choices.rateDenominator);
}

void saveCompressionChoice(const std::string& settingsFile, const CameraChoices& choices) {
    SettingsFile file;
    file.open(settingsFile);
    file.selectGroup(kGroup);
    file.writeText("codec", choices.codec);
    file.writeNumber("qualitaet", choices.quality);
}
