#pragma once

#include <optional>
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

inline constexpr int kMaxCameraDevices = 9;

// Initialises GStreamer and checks that the camera source and the elements every pipeline
// needs are there. When they are not, `missing` says which, each with the Debian package that
// brings it (or why GStreamer itself does not start).
bool loadCaptureLibrary(std::string* missing = nullptr);

// The source that a text given on the command line names, decided in this order:
// - "scheme://...": a URI (rtsp, http, https, file, ...), played through uridecodebin;
// - a path under /dev/: a camera device;
// - a text whose first word names an installed GStreamer element: a source description,
//   taken as it stands;
// - anything else: the path of a video file, replayed in a loop.
// None, and why in `error`, when the text names nothing that can be played: a file that does
// not exist, a folder, a URI that GStreamer has no source for. Needs loadCaptureLibrary.
std::optional<CameraSource> givenSource(const std::string& given, std::string& error);

// The text by which a watch keeps its camera ("kamera"): the demo camera's name, a camera
// device's path, or the source as it was given on the command line.
std::string storedSourceText(const CameraSource& source);
// The source that text names again; a camera device that is not there now keeps its path as
// its name, to be waited for. None, and why in `error`, as givenSource says. Needs
// loadCaptureLibrary.
std::optional<CameraSource> storedSource(const std::string& text, std::string& error);

// The demo camera when asked for, then the given source, then up to nine video4linux2
// cameras found by GStreamer's device monitor, each named by its trimmed display name
// (cameras without a name are left out).
std::vector<CameraSource> findCameraSources(bool demo, const std::optional<CameraSource>& given);
