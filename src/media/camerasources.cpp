#include "media/camerasources.h"

#include <gst/gst.h>

#include <cctype>
#include <filesystem>
#include <memory>

#include "media/gstinit.h"
#include "media/gstpointer.h"

namespace {

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// Quoted for gst_parse_launch: backslash and double quote escaped.
std::string quoted(const std::string& value) {
    std::string text = "\"";
    for (char c : value) {
        if (c == '"' || c == '\\')
            text += '\\';
        text += c;
    }
    return text + '"';
}

// "rtsp" of "rtsp://camera/stream"; empty when the text does not begin with a URI scheme.
std::string uriScheme(const std::string& text) {
    const auto end = text.find("://");
    if (end == std::string::npos || end == 0 || !std::isalpha(static_cast<unsigned char>(text[0])))
        return {};
    for (std::size_t i = 1; i < end; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.')
            return {};
    }
    return text.substr(0, end);
}

// The text up to its first blank or link: the first element of a source description.
std::string firstWord(const std::string& text) {
    return text.substr(0, text.find_first_of(" \t\n!"));
}

// Why a path names no file that could be replayed; empty when it does.
std::string fileProblem(const std::string& path) {
    std::error_code status;
    if (std::filesystem::is_regular_file(path, status))
        return {};
    return (std::filesystem::exists(path, status) ? "not a file: " : "no such file: ") + path;
}

// Recorded footage and network cameras alike: uridecodebin finds the source and decoders.
CameraSource uriSource(const std::string& name, const std::string& uri) {
    return {name, "uridecodebin uri=" + quoted(uri), {}};
}

CameraSource deviceSource(const std::string& name, const std::string& path) {
    // decodebin lets the camera deliver compressed (MJPEG) pictures as well as raw ones.
    return {name, "v4l2src device=" + quoted(path) + " ! capsfilter name=format ! decodebin", path};
}

// The devices the monitor found, each owned; the list itself goes at once.
std::vector<GstPointer<GstDevice>> foundDevices(GstDeviceMonitor* monitor) {
    std::vector<GstPointer<GstDevice>> devices;
    GList* list = gst_device_monitor_get_devices(monitor);
    for (GList* item = list; item; item = item->next)
        devices.emplace_back(GST_DEVICE(item->data));
    g_list_free(list);
    return devices;
}

void appendCameraDevices(std::vector<CameraSource>& sources) {
    GstPointer<GstDeviceMonitor> monitor(gst_device_monitor_new());
    gst_device_monitor_add_filter(monitor.get(), "Video/Source", nullptr);
    if (!gst_device_monitor_start(monitor.get()))
        return;
    const std::vector<GstPointer<GstDevice>> devices = foundDevices(monitor.get());
    int listed = 0;
    for (auto device = devices.begin(); device != devices.end() && listed < kMaxCameraDevices;
         ++device) {
        GText displayName(gst_device_get_display_name(device->get()));
        const std::string name = trimmed(displayName ? displayName.get() : "");
        const GstPointer<GstStructure> properties(gst_device_get_properties(device->get()));
        const gchar* path =
            properties ? gst_structure_get_string(properties.get(), "device.path") : nullptr;
        if (!name.empty() && path) {
            sources.push_back(deviceSource(name, path));
            ++listed;
        }
    }
    gst_device_monitor_stop(monitor.get());
}

CameraSource demoSource() {
    return {"Demo-Kamera (eingebaut)", ""};
}

}  // namespace

bool loadCaptureLibrary(std::string* missing) {
    if (std::string reason; !initGStreamer(&reason)) {
        if (missing)
            *missing = "GStreamer does not start: " + reason;
        return false;
    }
    struct Needed {
        const char* factory;
        const char* package;
    };
    std::string absent;
    for (const Needed needed : {Needed{"v4l2src", "gstreamer1.0-plugins-good"},
                                Needed{"videoconvert", "gstreamer1.0-plugins-base"},
                                Needed{"appsink", "gstreamer1.0-plugins-base"},
                                Needed{"appsrc", "gstreamer1.0-plugins-base"},
                                Needed{"decodebin", "gstreamer1.0-plugins-base"}}) {
        if (!GstPointer<GstElementFactory>(gst_element_factory_find(needed.factory))) {
            absent += (absent.empty() ? "" : ", ") + std::string(needed.factory) + " (" +
                      needed.package + ")";
        }
    }
    if (missing && !absent.empty())
        *missing = "GStreamer elements missing: " + absent;
    return absent.empty();
}

std::vector<CameraSource> findCameraSources(bool demo, const std::optional<CameraSource>& given) {
    std::vector<CameraSource> sources;
    if (demo)
        sources.push_back(demoSource());
    if (given)
        sources.push_back(*given);
    appendCameraDevices(sources);
    return sources;
}

std::optional<CameraSource> givenSource(const std::string& given, std::string& error) {
    if (const std::string scheme = uriScheme(given); !scheme.empty()) {
        if (!gst_uri_protocol_is_supported(GST_URI_SRC, scheme.c_str())) {
            error = "GStreamer cannot read " + scheme + ":// addresses: " + given;
            return std::nullopt;
        }
        if (scheme == "file") {
            GText path(g_filename_from_uri(given.c_str(), nullptr, nullptr));
            error = path ? fileProblem(path.get()) : "not a file address: " + given;
            if (!error.empty())
                return std::nullopt;
        }
        return uriSource(given, given);
    }
    if (given.starts_with("/dev/"))
        return deviceSource(given, given);
    const std::string word = firstWord(given);
    if (GstPointer<GstElementFactory>(gst_element_factory_find(word.c_str())))
        return CameraSource{given, given, {}};
    error = fileProblem(given);
    if (!error.empty()) {
        // It may have been meant as a description.
        if (word != given)
            error += " (nor does \"" + word + "\" name a GStreamer element)";
        return std::nullopt;
    }
    std::error_code ignored;
    GText uri(
        g_filename_to_uri(std::filesystem::absolute(given, ignored).c_str(), nullptr, nullptr));
    if (!uri) {
        error = "not a file name: " + given;
        return std::nullopt;
    }
    return uriSource(given, uri.get());
}

std::string storedSourceText(const CameraSource& source) {
    if (source.isDemo())
        return demoSource().name;
    return source.device.empty() ? source.name : source.device;
}

std::optional<CameraSource> storedSource(const std::string& text, std::string& error) {
    if (text == demoSource().name)
        return demoSource();
    if (text.starts_with("/dev/")) {
        // By its own name when it is plugged in now.
        std::vector<CameraSource> devices;
        appendCameraDevices(devices);
        for (const CameraSource& device : devices) {
            if (device.device == text)
                return device;
        }
    }
    return givenSource(text, error);
}
