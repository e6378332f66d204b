#pragma once

#include <string>
#include <vector>

// One line of the driver list.
struct CameraSource {
    std::string name;
    // The source end of a GStreamer pipeline description; empty for the built-in demo camera.
    // A camera device's has the capsfilter "format" that holds the device to a chosen format.
    std::string description;
    // The video4linux2 device of a camera device, empty for other sources.
    std::string device = {};
    bool isDemo() const { return description.empty(); }
};

// Camera sources that are not found by looking for devices.
struct ExtraSources {
    bool demo = false;
    std::string given;  // a video file, a device path or a GStreamer source description
};

inline constexpr int kMaxCameraDevices = 9;

// Initialises GStreamer and checks that the camera source and the elements every pipeline
// needs are there.
bool loadCaptureLibrary();

// The extra sources first, then up to nine video4linux2 cameras found by GStreamer's device
// monitor, each named by its trimmed display name (cameras without a name are left out).
std::vector<CameraSource> findCameraSources(const ExtraSources& extras);

// A source given on the command line: a path under /dev is a camera device, another existing
// path a video file that is replayed in a loop, anything else a GStreamer source description
// taken as it stands.
CameraSource givenSource(const std::string& given);
