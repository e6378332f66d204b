#include "media/pictureformat.h"

#include "detection/workframe.h"
#include "media/gstpointer.h"

namespace {

// How the detection reads a picture whose conversion it makes itself, exactly as videoconvert
// would: an I420 one in colours it knows, or packed RGB; none for any other picture.
struct OwnConversion {
    PixelLayout layout = PixelLayout::Bgrx;
    YuvColours colours = YuvColours::Bt601Full;
};

std::optional<OwnConversion> ownConversion(const GstVideoInfo& info) {
    // An interlaced picture, or one in another format, takes videoconvert's general path.
    if (GST_VIDEO_INFO_IS_INTERLACED(&info))
        return std::nullopt;
    if (GST_VIDEO_INFO_FORMAT(&info) == GST_VIDEO_FORMAT_RGB)
        return OwnConversion{PixelLayout::Rgb, YuvColours::Bt601Full};
    if (GST_VIDEO_INFO_FORMAT(&info) != GST_VIDEO_FORMAT_I420)
        return std::nullopt;
    const GstVideoColorimetry& colours = info.colorimetry;
    if (colours.matrix == GST_VIDEO_COLOR_MATRIX_BT601 &&
        colours.range == GST_VIDEO_COLOR_RANGE_0_255)
        return OwnConversion{PixelLayout::I420, YuvColours::Bt601Full};
    if (colours.matrix == GST_VIDEO_COLOR_MATRIX_BT601 &&
        colours.range == GST_VIDEO_COLOR_RANGE_16_235)
        return OwnConversion{PixelLayout::I420, YuvColours::Bt601Limited};
    if (colours.matrix == GST_VIDEO_COLOR_MATRIX_BT709 &&
        colours.range == GST_VIDEO_COLOR_RANGE_16_235)
        return OwnConversion{PixelLayout::I420, YuvColours::Bt709Limited};
    return std::nullopt;
}

GstPadProbeReturn choosePictureFormat(GstPad*, GstPadProbeInfo* info, gpointer filter) {
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    if (GST_EVENT_TYPE(event) != GST_EVENT_CAPS)
        return GST_PAD_PROBE_OK;
    GstCaps* arriving = nullptr;
    gst_event_parse_caps(event, &arriving);
    GstVideoInfo video;
    // Without AVX2 the detection's own conversion of the sampled points costs more than
    // videoconvert's of the whole picture.
    const bool own =
        cpuHasAvx2() && gst_video_info_from_caps(&video, arriving) && ownConversion(video);
    const GstPointer<GstCaps> wanted(gst_caps_new_simple(
        "video/x-raw", "format", G_TYPE_STRING,
        own ? gst_video_format_to_string(GST_VIDEO_INFO_FORMAT(&video)) : "BGRx", nullptr));
    GstCaps* held = nullptr;
    g_object_get(filter, "caps", &held, nullptr);
    const GstPointer<GstCaps> current(held);
    // A change makes the converter negotiate again, which only a change needs.
    if (!current || !gst_caps_is_equal(current.get(), wanted.get()))
        g_object_set(filter, "caps", wanted.get(), nullptr);
    return GST_PAD_PROBE_OK;
}

}  // namespace

void followPictureFormat(GstElement* converter, GstElement* filter) {
    const GstPointer<GstPad> input(gst_element_get_static_pad(converter, "sink"));
    // The filter is in the same pipeline as the converter, so it outlives the probe.
    gst_pad_add_probe(input.get(), GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, &choosePictureFormat,
                      filter, nullptr);
}

std::optional<FrameView> frameViewOf(const GstVideoFrame& frame) {
    FrameView view;
    view.pixels = static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
    view.width = GST_VIDEO_FRAME_WIDTH(&frame);
    view.height = GST_VIDEO_FRAME_HEIGHT(&frame);
    view.stride = GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0);
    if (GST_VIDEO_FRAME_FORMAT(&frame) == GST_VIDEO_FORMAT_BGRx)
        return view;
    const std::optional<OwnConversion> own = ownConversion(frame.info);
    if (!own)
        return std::nullopt;
    view.layout = own->layout;
    if (own->layout != PixelLayout::I420)
        return view;
    view.uPlane = static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 1));
    view.vPlane = static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 2));
    view.uStride = GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 1);
    view.vStride = GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 2);
    view.colours = own->colours;
    return view;
}
