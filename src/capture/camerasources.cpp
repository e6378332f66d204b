#include "capture/camerasources.h"

#include <gst/gst.h>

#include <filesystem>
#include <memory>

#include "capture/gstpointer.h"

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

CameraSource deviceSource(const std::string& name, const std::string& path) {
    // decodebin lets the camera deliver compressed (MJPEG) pictures as well as raw ones.
    return {name, "v4l2src device=" + quoted(path) + " ! capsfilter name=format ! decodebin", path};
}

void appendCameraDevices(std::vector<CameraSource>& sources) {
    GstPointer<GstDeviceMonitor> monitor(gst_device_monitor_new());
    gst_device_monitor_add_filter(monitor.get(), "Video/Source", nullptr);
    if (!gst_device_monitor_start(monitor.get()))
        return;
    GList* devices = gst_device_monitor_get_devices(monitor.get());
    int listed = 0;
    for (GList* item = devices; item && listed < kMaxCameraDevices; item = item->next) {
        auto* device = GST_DEVICE(item->data);
        GText displayName(gst_device_get_display_name(device));
        const std::string name = trimmed(displayName ? displayName.get() : "");
        GstStructure* properties = gst_device_get_properties(device);
        const gchar* path =
            properties ? gst_structure_get_string(properties, "device.path") : nullptr;
        if (!name.empty() && path) {
            sources.push_back(deviceSource(name, path));
            ++listed;
        }
        if (properties)
            gst_structure_free(properties);
    }
    g_list_free_full(devices, gst_object_unref);
    gst_device_monitor_stop(monitor.get());
}

}  // namespace

bool loadCaptureLibrary() {
    if (!gst_init_check(nullptr, nullptr, nullptr))
        return false;
    for (const char* factory : {"v4l2src", "videoconvert", "appsink", "appsrc", "decodebin"}) {
        GstPointer<GstElementFactory> found(gst_element_factory_find(factory));
        if (!found)
            return false;
    }
    return true;
}

std::vector<CameraSource> findCameraSources(const ExtraSources& extras) {
    std::vector<CameraSource> sources;
    if (extras.demo)
        sources.push_back({"Demo-Kamera (eingebaut)", ""});
    if (!extras.given.empty())
        sources.push_back(givenSource(extras.given));
    appendCameraDevices(sources);
    return sources;
}

CameraSource givenSource(const std::string& given) {
    if (given.starts_with("/dev/"))
        return deviceSource(given, given);
    std::error_code error;
    if (std::filesystem::is_regular_file(given, error)) {
        const auto absolute = std::filesystem::absolute(given, error);
        GText uri(g_filename_to_uri(absolute.c_str(), nullptr, nullptr));
        if (uri)
            return {given, "uridecodebin uri=" + quoted(uri.get()), {}};
    }
    return {given, given, {}};
}
