#include "media/clipbranch.h"

#include <gst/app/gstappsrc.h>
#include <gst/audio/audio.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "detection/clipfiles.h"
#include "media/clipparts.h"
#include "media/gstmessages.h"
#include "media/gstparse.h"
#include "media/gstpointer.h"

namespace {

constexpr const char* kBegunMessage = "sentello-clip-begun";

// A clip holds its length in pictures at the rate they are encoded at; a camera that delivers
// fewer than it says ends its clip this long after the length on the clock instead.
constexpr GstClockTime kLateEnd = GST_SECOND;

// A clip ends once its disk has less than this free, so that the muxer still has room to
// finish the file with its index; the room is looked at after every so many bytes written.
constexpr std::uint64_t kClipFloorBytes = std::uint64_t{16} << 20;
constexpr std::uint64_t kRoomCheckBytes = std::uint64_t{1} << 20;

constexpr const char* kCutByFullDisk = "cut short by a full disk";

// Each chunk goes to the disk as the muxer writes it: what a crash leaves of a clip is what
// was recorded up to it, not less by a buffer of the sink's. A sink that joins a playing
// pipeline must not make it wait for a preroll.
std::string fileSink() {
    return "filesink name=file async=false buffer-mode=unbuffered";
}

std::string branchDescription(const ClipRequest& request, const std::string& soundSource,
                              bool variableRate) {
    std::string description = pictureEntryQueue() + (variableRate ? " ! " + steadyRate() : "") +
                              " ! videoconvert ! " + encoderDescription(request.compression) +
                              " name=encoder ! " + backlogQueue() + " ! avimux name=mux ! " +
                              fileSink();
    if (!soundSource.empty()) {
        description += " " + soundSource + " name=sound ! " + soundConversion() + " ! " +
                       backlogQueue() + " ! mux.";
    }
    return description;
}

// A clip of kept footage: pictures and sound come encoded and timed from the pre-recording.
// Their kinds are known only with the first data, so each is linked to its muxer pad by name.
std::string footageDescription(bool withSound) {
    const std::string source = " appsrc format=time max-bytes=0 name=";
    std::string description = "avimux name=mux ! " + fileSink() + source + "pictures ! " +
                              backlogQueue() + " ! mux.video_%u";
    if (withSound)
        description += source + "sound ! " + backlogQueue() + " ! mux.audio_%u";
    return description;
}

// Whether a write error of the clip's file came from its disk being full.
bool filledTheDisk(GstMessage* message, const std::string& path) {
    GError* parsed = nullptr;
    gst_message_parse_error(message, &parsed, nullptr);
    const GErrorPointer error(parsed);
    return g_error_matches(error.get(), GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_NO_SPACE_LEFT) ||
           !roomForClip(path, kClipFloorBytes);
}

// Frames of sound from `from` to `time`, before `from` below zero.
gint64 framesBetween(GstClockTime from, GstClockTime time, int rate) {
    if (time >= from)
        return static_cast<gint64>(gst_util_uint64_scale(time - from, rate, GST_SECOND));
    return -static_cast<gint64>(gst_util_uint64_scale(from - time, rate, GST_SECOND));
}

}  // namespace

// What the streaming threads use. It holds its own references, so a probe that is still running
// while the branch goes never sees a freed element.
struct ClipBranch::Shared final : FootageReceiver {
    GstPointer<GstElement> bin;
    GstPointer<GstElement> sound;  // may be absent
    std::string path;
    GstClockTime length = 0;
    // The pictures of the length: the rate they are encoded at times the seconds.
    std::uint64_t pictureLimit = 0;
    // Of the length; on the thread that encodes (for kept footage: under the pre-recording's
    // lock).
    std::uint64_t picturesTaken = 0;
    std::atomic<bool> full{false};

    std::atomic<bool> endRequested{false};
    std::atomic<bool> closed{false};
    std::atomic<bool> gotPicture{false};
    std::atomic<bool> begun{false};
    // On the file sink's thread: what was written since the room was last looked at.
    std::uint64_t unchecked = 0;
    std::atomic<bool> diskFull{false};
    // The clip's picture size, from the first that comes; on the thread that sends pictures.
    gint pictureWidth = 0;
    gint pictureHeight = 0;
    std::atomic<bool> sizeChanged{false};
    // On the thread that sends the pictures only (for kept footage: under the pre-recording's
    // lock, which its sound also takes).
    GstClockTime firstPictureTime = GST_CLOCK_TIME_NONE;

    // A clip of kept footage: the sources of its pictures and sound, its trigger and the end
    // of its length on the clock, and the sound frames it has had.
    GstPointer<GstElement> pictures;
    GstClockTime trigger = GST_CLOCK_TIME_NONE;
    GstClockTime end = GST_CLOCK_TIME_NONE;
    std::atomic<bool> soundClosed{false};
    gint64 soundFrames = 0;

    // Takes no more pictures and lets the branch drain; the muxer finishes the file once video
    // and sound have ended. Runs once, on whichever thread gets here first.
    void close(GstPad* entry) {
        if (closed.exchange(true))
            return;
        if (pictures) {
            gst_app_src_end_of_stream(GST_APP_SRC(pictures.get()));
            closeSound();
            return;
        }
        gst_pad_send_event(entry, gst_event_new_eos());
        if (sound)
            gst_element_send_event(sound.get(), gst_event_new_eos());
    }

    void closeSound() {
        if (sound && !soundClosed.exchange(true))
            gst_app_src_end_of_stream(GST_APP_SRC(sound.get()));
    }

    GstClockTime now() const {
        GstPointer<GstClock> clock(gst_element_get_clock(bin.get()));
        if (!clock)
            return GST_CLOCK_TIME_NONE;
        return gst_clock_get_time(clock.get());
    }

    // Counts a picture of the length; false when the length is full.
    bool takeIntoLength() {
        if (picturesTaken >= pictureLimit)
            return false;
        if (++picturesTaken == pictureLimit)
            full = true;
        return true;
    }

    static GstPadProbeReturn onPicture(GstPad* teePad, GstPadProbeInfo* info, gpointer data) {
        const std::shared_ptr<Shared> shared = WeakState<Shared>::lock(data);
        if (!shared || shared->closed)
            return GST_PAD_PROBE_DROP;
        const GstClockTime now = shared->now();
        if (shared->firstPictureTime == GST_CLOCK_TIME_NONE)
            shared->firstPictureTime = now;
        const bool late = now != GST_CLOCK_TIME_NONE &&
                          now - shared->firstPictureTime >= shared->length + kLateEnd;
        if (!shared->full && !late && !shared->endRequested) {
            shared->gotPicture = true;
            // A network camera's pictures come without times; the clip takes their arrival.
            GstBuffer* picture = GST_PAD_PROBE_INFO_BUFFER(info);
            if (!GST_BUFFER_PTS_IS_VALID(picture) && now != GST_CLOCK_TIME_NONE) {
                picture = gst_buffer_make_writable(picture);
                GST_BUFFER_PTS(picture) = now - gst_element_get_base_time(shared->bin.get());
                GST_PAD_PROBE_INFO_DATA(info) = picture;
            }
            return GST_PAD_PROBE_OK;
        }
        // The end is sent from the thread that sends the pictures, so no picture can follow it.
        GstPointer<GstPad> entry(gst_pad_get_peer(teePad));
        if (entry)
            shared->close(entry.get());
        return GST_PAD_PROBE_DROP;
    }

    // Pictures are counted where they are encoded: after the steady rate of a network camera's,
    // and whatever the clock said of the moment they came. Those past the length, which the
    // branch took before it closed, go.
    static GstPadProbeReturn onEncoding(GstPad*, GstPadProbeInfo*, gpointer data) {
        const std::shared_ptr<Shared> shared = WeakState<Shared>::lock(data);
        return shared && shared->takeIntoLength() ? GST_PAD_PROBE_OK : GST_PAD_PROBE_DROP;
    }

    // Kept footage begins with a key picture; its times count from there, and its length from
    // the trigger.
    void takePicture(GstSample* picture) override {
        if (closed)
            return;
        GstBuffer* buffer = gst_sample_get_buffer(picture);
        const GstClockTime time = GST_BUFFER_PTS(buffer);
        if (firstPictureTime == GST_CLOCK_TIME_NONE) {
            if (!GST_CLOCK_TIME_IS_VALID(time) ||
                GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_DELTA_UNIT)) {
                return;
            }
            firstPictureTime = time;
        }
        if (time < firstPictureTime)
            return;
        if (!takeSize(gst_sample_get_caps(picture))) {
            close(nullptr);
            return;
        }
        const bool late = time >= end + kLateEnd;
        if (late || endRequested || (time >= trigger && !takeIntoLength())) {
            close(nullptr);
            return;
        }
        GstPointer<GstBuffer> placed(gst_buffer_copy(buffer));
        GST_BUFFER_PTS(placed.get()) = time - firstPictureTime;
        GST_BUFFER_DTS(placed.get()) = GST_CLOCK_TIME_NONE;
        push(pictures.get(), placed.get(), gst_sample_get_caps(picture));
        gotPicture = true;
    }

    // The sound fills the clip from its first picture to its end without a gap: what was not
    // heard is silence, what came twice or too early is cut.
    void takeSound(GstSample* heard) override {
        if (!sound || soundClosed || firstPictureTime == GST_CLOCK_TIME_NONE)
            return;
        GstCaps* caps = gst_sample_get_caps(heard);
        GstAudioInfo info;
        if (!gst_audio_info_from_caps(&info, caps) || info.bpf == 0)
            return;
        GstBuffer* buffer = gst_sample_get_buffer(heard);
        const auto frames = static_cast<gint64>(gst_buffer_get_size(buffer) / info.bpf);
        const gint64 begin = framesBetween(firstPictureTime, GST_BUFFER_PTS(buffer), info.rate);
        const gint64 last = framesBetween(firstPictureTime, end, info.rate);
        if (const gint64 silent = std::min(begin, last) - soundFrames; silent > 0) {
            GstPointer<GstBuffer> silence(
                gst_buffer_new_allocate(nullptr, silent * info.bpf, nullptr));
            gst_buffer_memset(silence.get(), 0, 0, silent * info.bpf);
            pushSound(silence.get(), silent, info, caps);
        }
        const gint64 skipped = std::max<gint64>(0, soundFrames - begin);
        const gint64 taken = std::min(frames - skipped, last - soundFrames);
        if (taken > 0) {
            GstPointer<GstBuffer> part(gst_buffer_copy_region(
                buffer, GST_BUFFER_COPY_MEMORY, skipped * info.bpf, taken * info.bpf));
            pushSound(part.get(), taken, info, caps);
        }
        if (soundFrames >= last)
            closeSound();
    }

    void pushSound(GstBuffer* part, gint64 frames, const GstAudioInfo& info, GstCaps* caps) {
        GST_BUFFER_PTS(part) = gst_util_uint64_scale(soundFrames, GST_SECOND, info.rate);
        GST_BUFFER_DURATION(part) = gst_util_uint64_scale(frames, GST_SECOND, info.rate);
        soundFrames += frames;
        push(sound.get(), part, caps);
    }

    static void push(GstElement* source, GstBuffer* buffer, GstCaps* caps) {
        const GstPointer<GstSample> sample(gst_sample_new(buffer, caps, nullptr, nullptr));
        gst_app_src_push_sample(GST_APP_SRC(source), sample.get());
    }

    // Recorded footage that is replayed as the camera ends and starts over; the clip goes on
    // across that, so the footage's end and the flush of its new start stay out of the branch.
    // Pictures of another size end the clip before they reach it (see takeSize).
    static GstPadProbeReturn onStreamEvent(GstPad* teePad, GstPadProbeInfo* info, gpointer data) {
        GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
        switch (GST_EVENT_TYPE(event)) {
            case GST_EVENT_EOS:
            case GST_EVENT_FLUSH_START:
            case GST_EVENT_FLUSH_STOP:
                return GST_PAD_PROBE_DROP;
            case GST_EVENT_CAPS: {
                const std::shared_ptr<Shared> shared = WeakState<Shared>::lock(data);
                GstCaps* caps = nullptr;
                gst_event_parse_caps(event, &caps);
                if (!shared || shared->takeSize(caps))
                    return GST_PAD_PROBE_OK;
                GstPointer<GstPad> entry(gst_pad_get_peer(teePad));
                if (entry)
                    shared->close(entry.get());
                return GST_PAD_PROBE_DROP;
            }
            default:
                return GST_PAD_PROBE_OK;
        }
    }

    // An AVI has one picture size, which its header gives: a camera that changes its size
    // (a network camera may) ends the clip, and the rest of it goes into a clip of its own.
    // False for pictures of another size than the clip's.
    bool takeSize(GstCaps* caps) {
        gint width = 0;
        gint height = 0;
        if (!caps || gst_caps_get_size(caps) == 0)
            return true;
        const GstStructure* picture = gst_caps_get_structure(caps, 0);
        if (!gst_structure_get_int(picture, "width", &width) ||
            !gst_structure_get_int(picture, "height", &height)) {
            return true;
        }
        if (pictureWidth == 0 || !gotPicture) {
            pictureWidth = width;
            pictureHeight = height;
            return true;
        }
        if (width == pictureWidth && height == pictureHeight)
            return true;
        sizeChanged = true;
        return false;
    }

    // The muxer writes its header with the first picture; a clip that ends without any writes
    // one at its end, which is no beginning.
    static GstPadProbeReturn onFileData(GstPad*, GstPadProbeInfo* info, gpointer data) {
        const std::shared_ptr<Shared> shared = WeakState<Shared>::lock(data);
        if (!shared || !shared->gotPicture)
            return GST_PAD_PROBE_OK;
        if (!shared->begun.exchange(true)) {
            gst_element_post_message(
                shared->bin.get(),
                gst_message_new_application(GST_OBJECT(shared->bin.get()),
                                            gst_structure_new_empty(kBegunMessage)));
        }
        shared->unchecked += gst_buffer_get_size(GST_PAD_PROBE_INFO_BUFFER(info));
        if (shared->unchecked >= kRoomCheckBytes) {
            shared->unchecked = 0;
            if (!roomForClip(shared->path, kClipFloorBytes) && !shared->diskFull.exchange(true))
                shared->endRequested = true;
        }
        return GST_PAD_PROBE_OK;
    }
};

std::unique_ptr<ClipBranch> ClipBranch::start(GstElement* pipeline, GstElement* tee,
                                              const ClipRequest& request,
                                              const std::string& soundSource, std::string& error) {
    const bool withSound =
        request.withSound && !soundSource.empty() && soundSourceOpens(soundSource);
    ClipRequest clip = request;
    clip.compression = availableCompression(request.compression);
    const int rate = deliveredRate(tee);
    std::unique_ptr<ClipBranch> branch =
        prepare(pipeline, tee, branchDescription(clip, withSound ? soundSource : "", rate == 0),
                request, rate == 0 ? kSteadyPicturesPerSecond : rate, error);
    if (!branch)
        return nullptr;
    const std::shared_ptr<Shared>& shared = branch->m_shared;
    GstPointer<GstElement> encoder(gst_bin_get_by_name(GST_BIN(shared->bin.get()), "encoder"));
    GstPointer<GstPad> encoderInput(gst_element_get_static_pad(encoder.get(), "sink"));
    gst_pad_add_probe(encoderInput.get(), GST_PAD_PROBE_TYPE_BUFFER, &Shared::onEncoding,
                      WeakState<Shared>::make(shared), &WeakState<Shared>::release);
    keepPictureTimes(encoder.get());
    exposeEntry(shared->bin.get());
    if (!branch->join(error))
        return nullptr;
    if (!linkToTee(
            tee, shared->bin.get(),
            {&Shared::onPicture, WeakState<Shared>::make(shared), &WeakState<Shared>::release},
            {&Shared::onStreamEvent, WeakState<Shared>::make(shared), &WeakState<Shared>::release},
            branch->m_teePad)) {
        error = "the recording cannot take the camera's pictures";
        return nullptr;
    }
    return branch;
}

std::unique_ptr<ClipBranch> ClipBranch::startWithFootage(GstElement* pipeline,
                                                         PreRecording& footage,
                                                         const ClipRequest& request,
                                                         std::string& error) {
    std::unique_ptr<ClipBranch> branch =
        prepare(pipeline, nullptr, footageDescription(request.withSound && footage.hasSound()),
                request, footage.picturesPerSecond(), error);
    if (!branch || !branch->join(error))
        return nullptr;
    const std::shared_ptr<Shared>& shared = branch->m_shared;
    shared->pictures.reset(gst_bin_get_by_name(GST_BIN(shared->bin.get()), "pictures"));
    shared->trigger = footageClockTime();
    shared->end = shared->trigger + shared->length;
    footage.attach(shared, shared->trigger);
    return branch;
}

std::unique_ptr<ClipBranch> ClipBranch::prepare(GstElement* pipeline, GstElement* tee,
                                                const std::string& description,
                                                const ClipRequest& request, int picturesPerSecond,
                                                std::string& error) {
    GstPointer<GstElement> parsed = parseBin(description, false, error);
    if (!parsed)
        return nullptr;
    auto shared = std::make_shared<Shared>();
    shared->bin = std::move(parsed);
    shared->path = request.path;
    shared->length = static_cast<GstClockTime>(request.seconds) * GST_SECOND;
    shared->pictureLimit = static_cast<std::uint64_t>(request.seconds) * picturesPerSecond;
    GstBin* bin = GST_BIN(shared->bin.get());
    // The muxer's end shows as the file sink's EOS, which a bin inside a pipeline keeps to
    // itself unless it forwards its children's messages.
    g_object_set(bin, "message-forward", TRUE, nullptr);
    shared->sound.reset(gst_bin_get_by_name(bin, "sound"));

    GstPointer<GstElement> file(gst_bin_get_by_name(bin, "file"));
    g_object_set(file.get(), "location", request.path.c_str(), nullptr);
    GstPointer<GstPad> fileInput(gst_element_get_static_pad(file.get(), "sink"));
    gst_pad_add_probe(fileInput.get(), GST_PAD_PROBE_TYPE_BUFFER, &Shared::onFileData,
                      WeakState<Shared>::make(shared), &WeakState<Shared>::release);
    return std::unique_ptr<ClipBranch>(new ClipBranch(pipeline, tee, shared, request.path));
}

bool ClipBranch::join(std::string& error) {
    // The pipeline takes a reference of its own.
    gst_bin_add(GST_BIN(m_pipeline.get()), m_shared->bin.get());
    m_joined = true;
    // Running before the first picture arrives.
    if (!gst_element_sync_state_with_parent(m_shared->bin.get())) {
        error = "the recording does not start";
        return false;
    }
    return true;
}

ClipBranch::ClipBranch(GstElement* pipeline, GstElement* tee, std::shared_ptr<Shared> shared,
                       std::string path)
    : m_pipeline(GST_ELEMENT(gst_object_ref(pipeline))),
      m_tee(tee ? GST_ELEMENT(gst_object_ref(tee)) : nullptr),
      m_shared(std::move(shared)),
      m_path(std::move(path)) {}

ClipBranch::~ClipBranch() {
    // Without its pad the tee sends the branch nothing more; then the branch's threads stop.
    if (m_teePad) {
        gst_element_release_request_pad(m_tee.get(), m_teePad.get());
        m_teePad.reset();
    }
    gst_element_set_state(m_shared->bin.get(), GST_STATE_NULL);
    if (m_joined)
        gst_bin_remove(GST_BIN(m_pipeline.get()), m_shared->bin.get());
}

bool ClipBranch::pictureSizeChanged() const {
    return m_shared->sizeChanged;
}

bool ClipBranch::takesFootage() const {
    return m_shared->pictures != nullptr;
}

void ClipBranch::requestEnd() {
    m_shared->endRequested = true;
}

void ClipBranch::endNow() {
    GstPointer<GstPad> entry(gst_element_get_static_pad(m_shared->bin.get(), "sink"));
    m_shared->close(entry.get());
}

ClipBranch::Event ClipBranch::handleBusMessage(GstMessage* message, std::string& error) const {
    GstObject* source = GST_MESSAGE_SRC(message);
    GstObject* bin = GST_OBJECT(m_shared->bin.get());
    switch (GST_MESSAGE_TYPE(message)) {
        case GST_MESSAGE_APPLICATION:
            return source == bin && gst_message_has_name(message, kBegunMessage) ? Event::Begun
                                                                                 : Event::None;
        case GST_MESSAGE_ELEMENT: {
            if (source != bin || !gst_message_has_name(message, "GstBinForwarded"))
                return Event::None;
            GstMessage* got = nullptr;
            gst_structure_get(gst_message_get_structure(message), "message", GST_TYPE_MESSAGE, &got,
                              nullptr);
            const GstPointer<GstMessage> forwarded(got);
            if (!forwarded)
                return Event::None;
            // The file sink ends last: the file is then finished and closed.
            const bool fileDone =
                GST_MESSAGE_TYPE(forwarded.get()) == GST_MESSAGE_EOS &&
                std::strcmp(GST_OBJECT_NAME(GST_MESSAGE_SRC(forwarded.get())), "file") == 0;
            if (!fileDone)
                return Event::None;
            if (m_shared->gotPicture) {
                if (m_shared->diskFull)
                    error = kCutByFullDisk;
                return Event::Ended;
            }
            error = "the camera delivered no picture for the clip";
            return Event::Failed;
        }
        case GST_MESSAGE_ERROR:
            if (source != bin && !gst_object_has_as_ancestor(source, bin))
                return Event::None;
            error = errorText(message);
            // What is on the disk plays up to the failed write; the muxer cannot finish it.
            if (m_shared->begun && std::strcmp(GST_OBJECT_NAME(source), "file") == 0) {
                if (filledTheDisk(message, m_path))
                    error = kCutByFullDisk;
                else
                    error = "cut short: " + error;
                return Event::Ended;
            }
            return Event::Failed;
        default:
            return Event::None;
    }
}
