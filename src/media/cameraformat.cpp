#include "media/cameraformat.h"

#include <cstdio>

std::string formatText(const CameraFormat& format) {
    char rate[32];
    std::snprintf(rate, sizeof rate, "%g", format.framesPerSecond());
    return std::to_string(format.width) + " × " + std::to_string(format.height) + ", " + rate +
           " Bilder/s";
}

std::string formatCaps(const CameraFormat& format) {
    const std::string fields = ",width=" + std::to_string(format.width) +
                               ",height=" + std::to_string(format.height) +
                               ",framerate=" + std::to_string(format.rateNumerator) + "/" +
                               std::to_string(format.rateDenominator);
    return "video/x-raw" + fields + ";image/jpeg" + fields;
}
