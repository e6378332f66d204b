#pragma once

#include <string>

// A picture size and frame rate that a camera delivers.
struct CameraFormat {
    int width = 0;
    int height = 0;
    int rateNumerator = 0;
    int rateDenominator = 1;

    bool operator==(const CameraFormat&) const = default;
    double framesPerSecond() const {
        return rateDenominator > 0 ? double(rateNumerator) / rateDenominator : 0.0;
    }
};

// As the format list shows it: "640 × 480, 25 Bilder/s".
std::string formatText(const CameraFormat& format);

// GStreamer caps that hold a camera to the format, raw or compressed.
std::string formatCaps(const CameraFormat& format);
