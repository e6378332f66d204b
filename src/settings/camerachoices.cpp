#include "settings/camerachoices.h"

#include <array>
#include <climits>

#include "settings/keytable.h"

namespace {

constexpr const char* kGroup = "Kamera";

using Choices = CameraChoices;

// Each dialog's keys, written only when that dialog chose, in the order in which they are
// written; the defaults are those of CameraChoices.
constexpr std::array<SettingKey<Choices>, 5> kFormatKeys{{
    {"formatkamera", KeyKind::Text, &Choices::formatCamera},
    {"breite", KeyKind::Number, &Choices::width},
    {"hoehe", KeyKind::Number, &Choices::height},
    {"bildrate", KeyKind::Number, &Choices::rateNumerator},
    {"bildrateteiler", KeyKind::Number, &Choices::rateDenominator, {1, INT_MAX}},
}};

constexpr std::array<SettingKey<Choices>, 2> kCompressionKeys{{
    {"codec", KeyKind::Text, &Choices::codec},
    {"qualitaet", KeyKind::Number, &Choices::quality, {1, 100}},
}};

template <typename Keys>
void saveChoice(const std::string& settingsFile, const CameraChoices& choices, const Keys& keys) {
    SettingsFile file;
    if (openForWriting(file, settingsFile, kGroup))
        writeKeys(file, keys, choices);
}

}  // namespace

CameraChoices loadCameraChoices(const std::string& settingsFile) {
    SettingsFile file;
    file.open(settingsFile);
    CameraChoices choices;
    if (!file.selectGroup(kGroup))
        return choices;
    readKeys(file, kFormatKeys, choices);
    readKeys(file, kCompressionKeys, choices);
    if (choices.codec != "mpeg4")
        choices.codec = "mjpeg";
    if (choices.width <= 0 || choices.height <= 0 || choices.rateNumerator <= 0)
        choices.formatCamera.clear();
    return choices;
}

void saveFormatChoice(const std::string& settingsFile, const CameraChoices& choices) {
    saveChoice(settingsFile, choices, kFormatKeys);
}

void saveCompressionChoice(const std::string& settingsFile, const CameraChoices& choices) {
    saveChoice(settingsFile, choices, kCompressionKeys);
}
