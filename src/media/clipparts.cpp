#include "media/clipparts.h"

#include <algorithm>
#include <deque>
#include <mutex>

#include "media/gstparse.h"
#include "media/gstpointer.h"

namespace {

constexpr int kRawPictureBacklog = 60;
constexpr guint64 kEncodedBacklogNs = 10 * GST_SECOND;

// More pictures than any encoder holds back: the times of pictures an encoder dropped go.
constexpr std::size_t kMaxPicturesInEncoder = 64;

// The times of the pictures in an encoder, oldest first, shared by the probes on its two pads.
struct PictureTimes {
    std::mutex mutex;
    std::deque<GstClockTime> times;
    // Not held: the probes go with the encoder, and its pads with it.
    GstPad* input = nullptr;

    static gpointer share(const std::shared_ptr<PictureTimes>& times) {
        return new std::shared_ptr<PictureTimes>(times);
    }
    static PictureTimes& of(gpointer data) {
        return **static_cast<std::shared_ptr<PictureTimes>*>(data);
    }
    static void release(gpointer data) { delete static_cast<std::shared_ptr<PictureTimes>*>(data); }

    static GstPadProbeReturn onTaken(GstPad*, GstPadProbeInfo* info, gpointer data) {
        PictureTimes& shared = of(data);
        std::lock_guard lock(shared.mutex);
        shared.times.push_back(GST_BUFFER_PTS(GST_PAD_PROBE_INFO_BUFFER(info)));
        if (shared.times.size() > kMaxPicturesInEncoder)
            shared.times.pop_front();
        return GST_PAD_PROBE_OK;
    }

    static GstPadProbeReturn onMade(GstPad*, GstPadProbeInfo* info, gpointer data) {
        PictureTimes& shared = of(data);
        if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM) {
            if (GST_EVENT_TYPE(GST_PAD_PROBE_INFO_EVENT(info)) != GST_EVENT_SEGMENT)
                return GST_PAD_PROBE_OK;
            GstEvent* given = gst_pad_get_sticky_event(shared.input, GST_EVENT_SEGMENT, 0);
            if (!given)
                return GST_PAD_PROBE_OK;
            gst_event_unref(GST_PAD_PROBE_INFO_EVENT(info));
            GST_PAD_PROBE_INFO_DATA(info) = given;
            return GST_PAD_PROBE_OK;
        }
        GstClockTime time = GST_CLOCK_TIME_NONE;
        {
            std::lock_guard lock(shared.mutex);
            if (shared.times.empty())
                return GST_PAD_PROBE_DROP;
            time = shared.times.front();
            shared.times.pop_front();
        }
        GstBuffer* picture = gst_buffer_make_writable(GST_PAD_PROBE_INFO_BUFFER(info));
        GST_BUFFER_PTS(picture) = time;
        GST_BUFFER_DTS(picture) = time;
        GST_PAD_PROBE_INFO_DATA(info) = picture;
        return GST_PAD_PROBE_OK;
    }
};

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

void keepPictureTimes(GstElement* encoder) {
    auto times = std::make_shared<PictureTimes>();
    GstPointer<GstPad> input(gst_element_get_static_pad(encoder, "sink"));
    GstPointer<GstPad> output(gst_element_get_static_pad(encoder, "src"));
    times->input = input.get();
    gst_pad_add_probe(input.get(), GST_PAD_PROBE_TYPE_BUFFER, &PictureTimes::onTaken,
                      PictureTimes::share(times), &PictureTimes::release);
    gst_pad_add_probe(
        output.get(),
        GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
        &PictureTimes::onMade, PictureTimes::share(times), &PictureTimes::release);
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

bool linkToTee(GstElement* tee, GstElement* bin, PadProbe onPicture, PadProbe onEvent,
               GstPointer<GstPad>& teePad) {
    teePad.reset(gst_element_request_pad_simple(tee, "src_%u"));
    gst_pad_add_probe(teePad.get(), GST_PAD_PROBE_TYPE_BUFFER, onPicture.callback, onPicture.data,
                      onPicture.release);
    gst_pad_add_probe(
        teePad.get(),
        GstPadProbeType(GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM | GST_PAD_PROBE_TYPE_EVENT_FLUSH),
        onEvent.callback, onEvent.data, onEvent.release);
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
