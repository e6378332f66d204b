#include "settings/camerachoices.h"

#include <algorithm>
#include <array>
#include <climits>
#include <variant>

#include "settings/settingsfile.h"

namespace {

constexpr const char* kGroup = "Kamera";

// Which dialog's choice a key belongs to; each is written only when that dialog chose.
enum class Choice { Format, Compression };

using TextMember = std::string CameraChoices::*;
using NumberMember = int CameraChoices::*;

struct ChoiceKey {
    const char* key;
    Choice choice;
    std::variant<TextMember, NumberMember> member;
    // Numbers read from the file are kept within these.
    int minimum = INT_MIN;
    int maximum = INT_MAX;
};

// In the order in which a choice writes them; the defaults are those of CameraChoices.
constexpr std::array kChoiceKeys = {
    ChoiceKey{"formatkamera", Choice::Format, &CameraChoices::formatCamera},
    ChoiceKey{"breite", Choice::Format, &CameraChoices::width},
    ChoiceKey{"hoehe", Choice::Format, &CameraChoices::height},
    ChoiceKey{"bildrate", Choice::Format, &CameraChoices::rateNumerator},
    ChoiceKey{"bildrateteiler", Choice::Format, &CameraChoices::rateDenominator, 1},
    ChoiceKey{"codec", Choice::Compression, &CameraChoices::codec},
    ChoiceKey{"qualitaet", Choice::Compression, &CameraChoices::quality, 1, 100},
};

void saveChoice(const std::string& settingsFile, const CameraChoices& choices, Choice choice) {
    SettingsFile file;
    // A file that is there but cannot be read is never replaced by the few keys of a choice.
    if (!file.open(settingsFile) && !file.create(settingsFile))
        return;
    file.selectGroup(kGroup);
    for (const ChoiceKey& key : kChoiceKeys) {
        if (key.choice != choice)
            continue;
        if (const auto* text = std::get_if<TextMember>(&key.member))
            file.writeText(key.key, choices.**text);
        else
            file.writeNumber(key.key, choices.*std::get<NumberMember>(key.member));
    }
}

}  // namespace

CameraChoices loadCameraChoices(const std::string& settingsFile) {
    SettingsFile file;
    file.open(settingsFile);
    CameraChoices choices;
    if (!file.selectGroup(kGroup))
        return choices;
    for (const ChoiceKey& key : kChoiceKeys) {
        if (const auto* text = std::get_if<TextMember>(&key.member)) {
            choices.** text = file.readText(key.key, choices.**text);
        } else {
            int& number = choices.*std::get<NumberMember>(key.member);
            number = std::clamp(file.readNumber(key.key, number), key.minimum, key.maximum);
        }
    }
    if (choices.codec != "mpeg4")
        choices.codec = "mjpeg";
    if (choices.width <= 0 || choices.height <= 0 || choices.rateNumerator <= 0)
        choices.formatCamera.clear();
    return choices;
}

void saveFormatChoice(const std::string& settingsFile, const CameraChoices& choices) {
    saveChoice(settingsFile, choices, Choice::Format);
}

void saveCompressionChoice(const std::string& settingsFile, const CameraChoices& choices) {
    saveChoice(settingsFile, choices, Choice::Compression);
}
