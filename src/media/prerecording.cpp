#include "media/prerecording.h"

#include <gst/app/gstappsink.h>
#include <gst/audio/audio.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <mutex>

#include "media/clipparts.h"
#include "media/gstparse.h"

namespace {

// MPEG-4 pictures start over from a key picture four times a second, so a clip can begin
// within an eighth of a second of the moment it asks for; Motion-JPEG pictures all are key
// pictures.
constexpr int kKeyPicturesPerSecond = 4;

// A sound source's times may start anywhere: they are moved to the clock at its first buffer,
// and again after a break in its stream or when they drift this far from when it was heard.
constexpr GstClockTime kSoundJump = GST_SECOND / 5;

std::string encoder(const ClipCompression& compression, int rate) {
    std::string description = encoderDescription(compression) + " name=encoder";
    if (compression.codec == ClipCodec::Mpeg4)
        description += " gop-size=" + std::to_string(std::max(1, rate / kKeyPicturesPerSecond));
    return description;
}

std::string branchDescription(const ClipCompression& compression, int rate,
                              const std::string& soundSource) {
    const std::string steady = rate == 0 ? steadyRate() + " ! " : "";
    std::string description = pictureEntryQueue() + " ! " + steady + "videoconvert ! " +
                              encoder(compression, rate == 0 ? kSteadyPicturesPerSecond : rate) +
                              " ! appsink name=encoded sync=false async=false";
    if (!soundSource.empty()) {
        description += " " + soundSource + " name=sound ! " + soundConversion() +
                       " ! appsink name=heard sync=false async=false";
    }
    return description;
}

GstClockTime timeOf(GstSample* sample) {
    return GST_BUFFER_PTS(gst_sample_get_buffer(sample));
}

bool isKeyPicture(GstSample* sample) {
    return !GST_BUFFER_FLAG_IS_SET(gst_sample_get_buffer(sample), GST_BUFFER_FLAG_DELTA_UNIT);
}

std::size_t sizeOf(GstSample* sample) {
    return gst_buffer_get_size(gst_sample_get_buffer(sample));
}

// A copy of the sample, sharing its memory, that was taken at `time` and lasts `duration`. It
// is ours to keep: a pulled sample is the appsink's, which it changes after a flush.
GstPointer<GstSample> retimed(GstSample* sample, GstClockTime time,
                              GstClockTime duration = GST_CLOCK_TIME_NONE) {
    GstPointer<GstBuffer> buffer(gst_buffer_copy(gst_sample_get_buffer(sample)));
    GST_BUFFER_PTS(buffer.get()) = time;
    if (GST_CLOCK_TIME_IS_VALID(duration))
        GST_BUFFER_DURATION(buffer.get()) = duration;
    return GstPointer<GstSample>(
        gst_sample_new(buffer.get(), gst_sample_get_caps(sample), nullptr, nullptr));
}

}  // namespace

// What the streaming threads use; it holds its own references, as a clip branch's does. Its
// callbacks and probe reach it only weakly (see WeakState): it goes with the pre-recording.
struct PreRecording::Shared {
    GstPointer<GstElement> bin;
    GstClockTime keep = 0;
    std::atomic<bool> heardSound{false};

    std::mutex mutex;
    std::deque<GstPointer<GstSample>> pictures;  // from a key picture on
    std::size_t pictureBytes = 0;
    std::deque<GstPointer<GstSample>> sounds;
    std::shared_ptr<FootageReceiver> receiver;

    // Sound thread only.
    GstClockTimeDiff soundShift = 0;
    bool soundPlaced = false;

    // Every picture gets the time it arrived: the clip is timed on the clock, and replayed
    // footage starts its own times over.
    static GstPadProbeReturn onPicture(GstPad*, GstPadProbeInfo* info, gpointer) {
        const GstClockTime now = footageClockTime();
        GstBuffer* picture = gst_buffer_make_writable(GST_PAD_PROBE_INFO_BUFFER(info));
        GST_BUFFER_PTS(picture) = now;
        GST_BUFFER_DTS(picture) = GST_CLOCK_TIME_NONE;
        GST_BUFFER_DURATION(picture) = GST_CLOCK_TIME_NONE;
        GST_PAD_PROBE_INFO_DATA(info) = picture;
        return GST_PAD_PROBE_OK;
    }

    // The branch runs as long as the camera: the end of replayed footage and the flush of its
    // new start stay out, and its pictures' times are the clock's (onPicture) throughout.
    static GstPadProbeReturn onStreamEvent(GstPad*, GstPadProbeInfo* info, gpointer) {
        GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
        switch (GST_EVENT_TYPE(event)) {
            case GST_EVENT_EOS:
            case GST_EVENT_FLUSH_START:
            case GST_EVENT_FLUSH_STOP:
                return GST_PAD_PROBE_DROP;
            case GST_EVENT_SEGMENT: {
                GstSegment segment;
                gst_segment_init(&segment, GST_FORMAT_TIME);
                gst_event_unref(event);
                GST_PAD_PROBE_INFO_DATA(info) = gst_event_new_segment(&segment);
                return GST_PAD_PROBE_OK;
            }
            default:
                return GST_PAD_PROBE_OK;
        }
    }

    static GstFlowReturn onEncoded(GstAppSink* sink, gpointer data) {
        const GstPointer<GstSample> picture(gst_app_sink_pull_sample(sink));
        const std::shared_ptr<Shared> shared = WeakState<Shared>::lock(data);
        if (picture && shared)
            shared->keepPicture(retimed(picture.get(), timeOf(picture.get())));
        return GST_FLOW_OK;
    }

    static GstFlowReturn onHeard(GstAppSink* sink, gpointer data) {
        const GstPointer<GstSample> sound(gst_app_sink_pull_sample(sink));
        const std::shared_ptr<Shared> shared = WeakState<Shared>::lock(data);
        if (GstPointer<GstSample> placed = sound && shared ? shared->onClock(sound.get()) : nullptr)
            shared->keepSound(std::move(placed));
        return GST_FLOW_OK;
    }

    void keepPicture(GstPointer<GstSample> picture) {
        std::lock_guard lock(mutex);
        // A run of pictures is kept whole, from its key picture on.
        if (pictures.empty() && !isKeyPicture(picture.get()))
            return;
        if (receiver)
            receiver->takePicture(picture.get());
        const GstClockTime newest = timeOf(picture.get());
        pictureBytes += sizeOf(picture.get());
        pictures.push_back(std::move(picture));
        // The oldest run goes once the next one starts early enough, or when they are too big.
        for (;;) {
            const auto next =
                std::find_if(pictures.begin() + 1, pictures.end(),
                             [](const auto& kept) { return isKeyPicture(kept.get()); });
            if (next == pictures.end())
                break;
            const bool oldEnough = newest >= keep && timeOf(next->get()) <= newest - keep;
            if (!oldEnough && pictureBytes <= kMaxKeptBytes)
                break;
            for (auto gone = pictures.begin(); gone != next; ++gone)
                pictureBytes -= sizeOf(gone->get());
            pictures.erase(pictures.begin(), next);
        }
    }

    void keepSound(GstPointer<GstSample> sound) {
        heardSound = true;
        std::lock_guard lock(mutex);
        if (receiver)
            receiver->takeSound(sound.get());
        const GstClockTime newest = timeOf(sound.get());
        sounds.push_back(std::move(sound));
        // A second longer than the pictures: a clip may begin at a key picture before its moment.
        const GstClockTime kept = keep + GST_SECOND;
        while (sounds.size() > 1 && newest >= kept && timeOf(sounds.front().get()) < newest - kept)
            sounds.pop_front();
    }

    // The sound's times on the clock the pictures' are on, continuous within its stream;
    // nullptr when it cannot be placed.
    GstPointer<GstSample> onClock(GstSample* sound) {
        GstBuffer* buffer = gst_sample_get_buffer(sound);
        GstAudioInfo info;
        const GstClockTime now = footageClockTime();
        if (!gst_audio_info_from_caps(&info, gst_sample_get_caps(sound)) || info.bpf == 0)
            return nullptr;
        const GstClockTime duration =
            gst_util_uint64_scale(gst_buffer_get_size(buffer) / info.bpf, GST_SECOND, info.rate);
        const GstClockTime heard = now > duration ? now - duration : 0;
        const GstClockTime given = GST_BUFFER_PTS(buffer);
        GstClockTime time = heard;
        if (soundPlaced && GST_CLOCK_TIME_IS_VALID(given) &&
            !GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_DISCONT)) {
            time = static_cast<GstClockTime>(static_cast<GstClockTimeDiff>(given) + soundShift);
        }
        if (GST_CLOCK_DIFF(time, heard) > GstClockTimeDiff(kSoundJump) ||
            GST_CLOCK_DIFF(heard, time) > GstClockTimeDiff(kSoundJump)) {
            time = heard;
        }
        if (time == heard && GST_CLOCK_TIME_IS_VALID(given)) {
            soundShift = GST_CLOCK_DIFF(given, heard);
            soundPlaced = true;
        }
        return retimed(sound, time, duration);
    }
};

std::unique_ptr<PreRecording> PreRecording::start(GstElement* pipeline, GstElement* tee,
                                                  const Setup& setup,
                                                  const std::string& soundSource,
                                                  std::string& error) {
    const bool withSound = setup.withSound && !soundSource.empty() && soundSourceOpens(soundSource);
    const int rate = deliveredRate(tee);
    const std::string description = branchDescription(availableCompression(setup.compression), rate,
                                                      withSound ? soundSource : "");
    GstPointer<GstElement> parsed = parseBin(description, false, error);
    if (!parsed)
        return nullptr;
    auto shared = std::make_shared<Shared>();
    shared->bin = std::move(parsed);
    shared->keep = static_cast<GstClockTime>(setup.seconds) * GST_SECOND;
    GstBin* bin = GST_BIN(shared->bin.get());

    GstAppSinkCallbacks encodedCallbacks{};
    encodedCallbacks.new_sample = &Shared::onEncoded;
    GstPointer<GstElement> encoded(gst_bin_get_by_name(bin, "encoded"));
    gst_app_sink_set_callbacks(GST_APP_SINK(encoded.get()), &encodedCallbacks,
                               WeakState<Shared>::make(shared), &WeakState<Shared>::release);
    if (GstPointer<GstElement> heard{gst_bin_get_by_name(bin, "heard")}) {
        GstAppSinkCallbacks heardCallbacks{};
        heardCallbacks.new_sample = &Shared::onHeard;
        gst_app_sink_set_callbacks(GST_APP_SINK(heard.get()), &heardCallbacks,
                                   WeakState<Shared>::make(shared), &WeakState<Shared>::release);
    }
    GstPointer<GstElement> encoder(gst_bin_get_by_name(bin, "encoder"));
    keepPictureTimes(encoder.get());
    exposeEntry(shared->bin.get());

    std::unique_ptr<PreRecording> preRecording(new PreRecording(
        pipeline, tee, setup, rate == 0 ? kSteadyPicturesPerSecond : rate, shared));
    gst_bin_add(GST_BIN(pipeline), shared->bin.get());
    if (!gst_element_sync_state_with_parent(shared->bin.get())) {
        error = "the encoder does not start";
        return nullptr;
    }
    if (!linkToTee(tee, shared->bin.get(), {&Shared::onPicture}, {&Shared::onStreamEvent},
                   preRecording->m_teePad)) {
        error = "the encoder cannot take the camera's pictures";
        return nullptr;
    }
    return preRecording;
}

PreRecording::PreRecording(GstElement* pipeline, GstElement* tee, const Setup& setup,
                           int picturesPerSecond, std::shared_ptr<Shared> shared)
    : m_pipeline(GST_ELEMENT(gst_object_ref(pipeline))),
      m_tee(GST_ELEMENT(gst_object_ref(tee))),
      m_setup(setup),
      m_picturesPerSecond(picturesPerSecond),
      m_shared(std::move(shared)) {}

// Stopped, the branch runs no callback any more; out of the pipeline, its bin goes with the
// shared state, and the kept footage with it.
PreRecording::~PreRecording() {
    if (m_teePad)
        gst_element_release_request_pad(m_tee.get(), m_teePad.get());
    gst_element_set_state(m_shared->bin.get(), GST_STATE_NULL);
    gst_bin_remove(GST_BIN(m_pipeline.get()), m_shared->bin.get());
}

bool PreRecording::hasSound() const {
    return m_shared->heardSound;
}

void PreRecording::attach(std::shared_ptr<FootageReceiver> receiver, GstClockTime trigger) {
    std::lock_guard lock(m_shared->mutex);
    const GstClockTime from = trigger > m_shared->keep ? trigger - m_shared->keep : 0;
    auto first = m_shared->pictures.end();
    GstClockTime nearest = GST_CLOCK_TIME_NONE;
    for (auto kept = m_shared->pictures.begin(); kept != m_shared->pictures.end(); ++kept) {
        const GstClockTime time = timeOf(kept->get());
        const GstClockTime distance = time > from ? time - from : from - time;
        if (isKeyPicture(kept->get()) && distance < nearest) {
            nearest = distance;
            first = kept;
        }
    }
    for (auto kept = first; kept != m_shared->pictures.end(); ++kept)
        receiver->takePicture(kept->get());
    for (const auto& sound : m_shared->sounds)
        receiver->takeSound(sound.get());
    m_shared->receiver = std::move(receiver);
}

void PreRecording::detach() {
    std::lock_guard lock(m_shared->mutex);
    m_shared->receiver.reset();
}

bool PreRecording::owns(GstMessage* message) const {
    GstObject* source = GST_MESSAGE_SRC(message);
    GstObject* bin = GST_OBJECT(m_shared->bin.get());
    return source == bin || gst_object_has_as_ancestor(source, bin);
}
