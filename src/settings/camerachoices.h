#pragma once

#include <string>

// What the user chose in the camera dialogs that the camera does not keep itself: the format
// (for the camera it was chosen for) and the clips' compression. Kept in the group "Kamera"
// of the settings file, whose keys are written only once the user has made a choice.
struct CameraChoices {
    std::string formatCamera;  // empty: no format chosen
    int width = 0;
    int height = 0;
    int rateNumerator = 0;
    int rateDenominator = 1;
    std::string codec = "mjpeg";  // "mjpeg" or "mpeg4"
    int quality = 85;
};

CameraChoices loadCameraChoices(const std::string& settingsFile);
void saveFormatChoice(const std::string& settingsFile, const CameraChoices& choices);
void saveCompressionChoice(const std::string& settingsFile, const CameraChoices& choices);
