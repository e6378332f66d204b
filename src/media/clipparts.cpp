#include "media/clipparts.h"

#include <algorithm>

#include "media/gstparse.h"
#include "media/gstpointer.h"

namespace {

constexpr int kRawPictureBacklog = 60;
constexpr guint64 kEncodedBacklogNs = 10 * GST_SECOND;

}  // namespace

int deliveredRate(GstElement* tee) {
    GstPointer<GstPad> input(gst_element_get_static_pad(tee, "sink"));
    GstPointer<GstCaps> caps(gst_pad_get_current_caps(input.get()));
    gint numerator = 0;
    gint denominator = 1;
    if (!caps || gst_caps_get_size(caps.get()) == 0 ||
        !gst_structure_get_fraction(gst_caps_get_structure(caps.get(), 0), "framerate", &numerator,
                                    &denominator) ||
        numerator <= 0 || denominator <= 0) {
        return 0;
    }
    return std::max(1, (numerator + denominator / 2) / denominator);
}

std::string steadyRate() {
    return "videorate skip-to-first=true ! video/x-raw,framerate=" +
           std::to_string(kSteadyPicturesPerSecond) + "/1";
}

std::string encoderDescription(const ClipCompression& compression) {
    const int quality = std::clamp(compression.quality, 1, 100);
    if (compression.codec == ClipCodec::Mpeg4) {
        // Constant quantizer from 2 (best) to 31 (smallest).
        const int quantizer = 2 + (100 - quality) * 29 / 99;
        return "avenc_mpeg4 pass=quant quantizer=" + std::to_string(quantizer);
    }
    return "jpegenc quality=" + std::to_string(quality);
}

ClipCompression availableCompression(const ClipCompression& compression) {
    ClipCompression available = compression;
    GstPointer<GstElementFactory> mpeg4(gst_element_factory_find("avenc_mpeg4"));
    if (available.codec == ClipCodec::Mpeg4 && !mpeg4)
        available.codec = ClipCodec::MotionJpeg;
    return available;
}

std::string pictureEntryQueue() {
    return "queue name=entry leaky=downstream max-size-bytes=0 max-size-time=0 "
           "max-size-buffers=" +
           std::to_string(kRawPictureBacklog);
}

void exposeEntry(GstElement* bin) {
    GstPointer<GstElement> entry(gst_bin_get_by_name(GST_BIN(bin), "entry"));
    GstPointer<GstPad> entryInput(gst_element_get_static_pad(entry.get(), "sink"));
    gst_element_add_pad(bin, gst_ghost_pad_new("sink", entryInput.get()));
}

bool linkToTee(GstElement* tee, GstElement* bin, PadProbe onPicture, GstPadProbeCallback onEvent,
               GstPointer<GstPad>& teePad) {
    teePad.reset(gst_element_request_pad_simple(tee, "src_%u"));
    gst_pad_add_probe(teePad.get(), GST_PAD_PROBE_TYPE_BUFFER, onPicture.callback, onPicture.data,
                      onPicture.release);
    gst_pad_add_probe(
        teePad.get(),
        GstPadProbeType(GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM | GST_PAD_PROBE_TYPE_EVENT_FLUSH),
        onEvent, nullptr, nullptr);
    GstPointer<GstPad> branchInput(gst_element_get_static_pad(bin, "sink"));
    return gst_pad_link(teePad.get(), branchInput.get()) == GST_PAD_LINK_OK;
}

std::string backlogQueue() {
    return "queue max-size-buffers=0 max-size-bytes=0 max-size-time=" +
           std::to_string(kEncodedBacklogNs);
}

std::string soundConversion() {
    return "audioconvert ! audioresample ! audio/x-raw,format=S16LE";
}

GstClockTime footageClockTime() {
    const GstPointer<GstClock> clock(gst_system_clock_obtain());
    return gst_clock_get_time(clock.get());
}

bool soundSourceOpens(const std::string& soundSource) {
    std::string error;
    const PipelinePointer source = parseLaunch(soundSource, error);
    return source &&
           gst_element_set_state(source.get(), GST_STATE_READY) != GST_STATE_CHANGE_FAILURE;
}
