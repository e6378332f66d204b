#include "clipfixture.h"

#include <gst/pbutils/pbutils.h>

std::optional<ClipFacts> discover(const std::filesystem::path& path) {
    GError* error = nullptr;
    GstDiscoverer* discoverer = gst_discoverer_new(20 * GST_SECOND, &error);
    if (!discoverer) {
        g_clear_error(&error);
        return std::nullopt;
    }
    gchar* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
    GstDiscovererInfo* info = gst_discoverer_discover_uri(discoverer, uri, &error);
    g_free(uri);
    g_clear_error(&error);
    std::optional<ClipFacts> facts;
    if (info && gst_discoverer_info_get_result(info) == GST_DISCOVERER_OK) {
        facts.emplace();
        facts->seconds = double(gst_discoverer_info_get_duration(info)) / GST_SECOND;
        GList* videos = gst_discoverer_info_get_video_streams(info);
        if (videos) {
            auto* video = GST_DISCOVERER_VIDEO_INFO(videos->data);
            facts->width = int(gst_discoverer_video_info_get_width(video));
            facts->height = int(gst_discoverer_video_info_get_height(video));
        }
        gst_discoverer_stream_info_list_free(videos);
        GList* sounds = gst_discoverer_info_get_audio_streams(info);
        facts->hasSound = sounds != nullptr;
        gst_discoverer_stream_info_list_free(sounds);
        GstDiscovererStreamInfo* top = gst_discoverer_info_get_stream_info(info);
        if (top) {
            GstCaps* caps = gst_discoverer_stream_info_get_caps(top);
            facts->container = gst_structure_get_name(gst_caps_get_structure(caps, 0));
            gst_caps_unref(caps);
            gst_discoverer_stream_info_unref(top);
        }
    }
    if (info)
        gst_discoverer_info_unref(info);
    g_object_unref(discoverer);
    return facts;
}
