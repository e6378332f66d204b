#include "clipfixture.h"

#include <gst/app/gstappsink.h>
#include <gst/pbutils/pbutils.h>

#include "media/gstparse.h"
#include "media/gstpointer.h"

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

// Hands each sample of a clip, decoded by `decoding` into an appsink, to `take`, mapped.
void eachDecoded(const std::filesystem::path& path, const std::string& decoding,
                 const std::function<void(GstSample*, const GstMapInfo&)>& take) {
    std::string error;
    PipelinePointer reader =
        parseLaunch("filesrc location=\"" + path.string() + "\" ! " + decoding +
                        " ! appsink name=out sync=false max-buffers=8",
                    error);
    ASSERT_TRUE(reader) << error;
    GstPointer<GstElement> out(gst_bin_get_by_name(GST_BIN(reader.get()), "out"));
    gst_element_set_state(reader.get(), GST_STATE_PLAYING);
    while (GstPointer<GstSample> sample{
        gst_app_sink_try_pull_sample(GST_APP_SINK(out.get()), 30 * GST_SECOND)}) {
        GstMapInfo map;
        GstBuffer* buffer = gst_sample_get_buffer(sample.get());
        gst_buffer_map(buffer, &map, GST_MAP_READ);
        take(sample.get(), map);
        gst_buffer_unmap(buffer, &map);
    }
}
