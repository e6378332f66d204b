#include "media/clipbranch.h"

#include <atomic>
#include <cstring>

#include "media/gstmessages.h"
#include "media/gstparse.h"
#include "media/gstpointer.h"

namespace {

constexpr const char* kBegunMessage = "sentello-clip-begun";

// Raw pictures wait here while the muxer waits for the first sound; when it takes longer, the
// oldest go, never the live picture.
constexpr int kRawPictureBacklog = 60;
// Encoded pictures and sound are small; ten seconds cover any start-up of the sound source.
constexpr guint64 kEncodedBacklogNs = 10 * GST_SECOND;

std::string backlogQueue() {
    return "queue max-size-buffers=0 max-size-bytes=0 max-size-time=" +
           std::to_string(kEncodedBacklogNs);
}

// Network cameras send pictures when they have them (framerate 0/1), which an AVI cannot say:
// their clips get a steady rate, pictures repeated or dropped by their times.
constexpr const char* kSteadyRate = " ! videorate skip-to-first=true ! video/x-raw,framerate=25/1";

bool deliversAtVariableRate(GstElement* tee) {
    GstPointer<GstPad> input(gst_element_get_static_pad(tee, "sink"));
    GstPointer<GstCaps> caps(gst_pad_get_current_caps(input.get()));
    gint numerator = 0;
    gint denominator = 1;
    return !caps || gst_caps_get_size(caps.get()) == 0 ||
           !gst_structure_get_fraction(gst_caps_get_structure(caps.get(), 0), "framerate",
                                       &numerator, &denominator) ||
           numerator == 0;
}

std::string branchDescription(const ClipRequest& request, const std::string& soundSource,
                              bool variableRate) {
    std::string description =
        "queue name=entry leaky=downstream max-size-bytes=0 max-size-time=0 max-size-buffers=" +
        std::to_string(kRawPictureBacklog) + (variableRate ? kSteadyRate : "") +
        " ! videoconvert ! " + encoderDescription(request.compression) + " ! " + backlogQueue() +
        // A sink that joins a playing pipeline must not make it wait for a preroll.
        " ! avimux name=mux ! filesink name=file async=false";
    if (!soundSource.empty()) {
        description += " " + soundSource + " name=sound ! audioconvert ! audioresample ! " +
                       "audio/x-raw,format=S16LE ! " + backlogQueue() + " ! mux.";
    }
    return description;
}

// Whether the sound source opens; a clip is better without sound than not at all.
bool soundSourceOpens(const std::string& soundSource) {
    std::string error;
    const PipelinePointer source = parseLaunch(soundSource, error);
    return source &&
           gst_element_set_state(source.get(), GST_STATE_READY) != GST_STATE_CHANGE_FAILURE;
}

}  // namespace

// What the streaming threads use. It holds its own references, so a probe that is still running
// while the branch goes never sees a freed element.
struct ClipBranch::Shared {
    GstPointer<GstElement> bin;
    GstPointer<GstElement> sound;  // may be absent
    GstClockTime length = 0;

    std::atomic<bool> endRequested{false};
    std::atomic<bool> closed{false};
    std::atomic<bool> gotPicture{false};
    std::atomic<bool> begun{false};
    GstClockTime firstPictureTime = GST_CLOCK_TIME_NONE;  // tee's streaming thread only

    // Takes no more pictures and lets the branch drain; the muxer finishes the file once video
    // and sound have ended. Runs once, on whichever thread gets here first.
    void close(GstPad* entry) {
        if (closed.exchange(true))
            return;
        gst_pad_send_event(entry, gst_event_new_eos());
        if (sound)
            gst_element_send_event(sound.get(), gst_event_new_eos());
    }

    GstClockTime now() const {
        GstPointer<GstClock> clock(gst_element_get_clock(bin.get()));
        if (!clock)
            return GST_CLOCK_TIME_NONE;
        return gst_clock_get_time(clock.get());
    }

    static GstPadProbeReturn onPicture(GstPad* teePad, GstPadProbeInfo* info, gpointer data) {
        auto* shared = static_cast<std::shared_ptr<Shared>*>(data)->get();
        if (shared->closed)
            return GST_PAD_PROBE_DROP;
        const GstClockTime now = shared->now();
        if (shared->firstPictureTime == GST_CLOCK_TIME_NONE)
            shared->firstPictureTime = now;
        const bool timeUp =
            now != GST_CLOCK_TIME_NONE && now - shared->firstPictureTime >= shared->length;
        if (!timeUp && !shared->endRequested) {
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

    // Recorded footage that is replayed as the camera ends and starts over; the clip goes on
    // across that, so the footage's end and the flush of its new start stay out of the branch.
    static GstPadProbeReturn onStreamEvent(GstPad*, GstPadProbeInfo* info, gpointer) {
        switch (GST_EVENT_TYPE(GST_PAD_PROBE_INFO_EVENT(info))) {
            case GST_EVENT_EOS:
            case GST_EVENT_FLUSH_START:
            case GST_EVENT_FLUSH_STOP:
                return GST_PAD_PROBE_DROP;
            default:
                return GST_PAD_PROBE_OK;
        }
    }

    // The muxer writes its header with the first picture; a clip that ends without any writes
    // one at its end, which is no beginning.
    static GstPadProbeReturn onFileData(GstPad*, GstPadProbeInfo*, gpointer data) {
        auto* shared = static_cast<std::shared_ptr<Shared>*>(data)->get();
        if (!shared->gotPicture)
            return GST_PAD_PROBE_OK;
        if (!shared->begun.exchange(true)) {
            gst_element_post_message(
                shared->bin.get(),
                gst_message_new_application(GST_OBJECT(shared->bin.get()),
                                            gst_structure_new_empty(kBegunMessage)));
        }
        return GST_PAD_PROBE_REMOVE;
    }

    static void release(gpointer data) { delete static_cast<std::shared_ptr<Shared>*>(data); }
};

std::unique_ptr<ClipBranch> ClipBranch::start(GstElement* pipeline, GstElement* tee,
                                              const ClipRequest& request,
                                              const std::string& soundSource, std::string& error) {
    const bool withSound =
        request.withSound && !soundSource.empty() && soundSourceOpens(soundSource);
    ClipRequest clip = request;
    // Without the MPEG-4 encoder a clip is still better in Motion-JPEG than not at all.
    GstPointer<GstElementFactory> mpeg4(gst_element_factory_find("avenc_mpeg4"));
    if (clip.compression.codec == ClipCodec::Mpeg4 && !mpeg4)
        clip.compression.codec = ClipCodec::MotionJpeg;
    const std::string description =
        branchDescription(clip, withSound ? soundSource : "", deliversAtVariableRate(tee));
    GstPointer<GstElement> parsed = parseBin(description, false, error);
    if (!parsed)
        return nullptr;
    auto shared = std::make_shared<Shared>();
    shared->bin = std::move(parsed);
    shared->length = static_cast<GstClockTime>(request.seconds) * GST_SECOND;
    GstBin* bin = GST_BIN(shared->bin.get());
    // The muxer's end shows as the file sink's EOS, which a bin inside a pipeline keeps to
    // itself unless it forwards its children's messages.
    g_object_set(bin, "message-forward", TRUE, nullptr);
    shared->sound.reset(gst_bin_get_by_name(bin, "sound"));

    GstPointer<GstElement> file(gst_bin_get_by_name(bin, "file"));
    g_object_set(file.get(), "location", request.path.c_str(), nullptr);
    GstPointer<GstPad> fileInput(gst_element_get_static_pad(file.get(), "sink"));
    gst_pad_add_probe(fileInput.get(), GST_PAD_PROBE_TYPE_BUFFER, &Shared::onFileData,
                      new std::shared_ptr<Shared>(shared), &Shared::release);

    GstPointer<GstElement> entry(gst_bin_get_by_name(bin, "entry"));
    GstPointer<GstPad> entryInput(gst_element_get_static_pad(entry.get(), "sink"));
    gst_element_add_pad(shared->bin.get(), gst_ghost_pad_new("sink", entryInput.get()));

    std::unique_ptr<ClipBranch> branch(new ClipBranch(pipeline, tee, shared, request.path));
    // The pipeline takes a reference of its own.
    gst_bin_add(GST_BIN(pipeline), shared->bin.get());
    // Running before the first picture arrives.
    if (!gst_element_sync_state_with_parent(shared->bin.get())) {
        error = "the recording does not start";
        return nullptr;
    }
    branch->m_teePad.reset(gst_element_request_pad_simple(tee, "src_%u"));
    gst_pad_add_probe(branch->m_teePad.get(), GST_PAD_PROBE_TYPE_BUFFER, &Shared::onPicture,
                      new std::shared_ptr<Shared>(shared), &Shared::release);
    gst_pad_add_probe(
        branch->m_teePad.get(),
        GstPadProbeType(GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM | GST_PAD_PROBE_TYPE_EVENT_FLUSH),
        &Shared::onStreamEvent, nullptr, nullptr);
    GstPointer<GstPad> branchInput(gst_element_get_static_pad(shared->bin.get(), "sink"));
    if (gst_pad_link(branch->m_teePad.get(), branchInput.get()) != GST_PAD_LINK_OK) {
        error = "the recording cannot take the camera's pictures";
        return nullptr;
    }
    return branch;
}

ClipBranch::ClipBranch(GstElement* pipeline, GstElement* tee, std::shared_ptr<Shared> shared,
                       std::string path)
    : m_pipeline(pipeline), m_tee(tee), m_shared(std::move(shared)), m_path(std::move(path)) {}

ClipBranch::~ClipBranch() {
    // Without its pad the tee sends the branch nothing more; then the branch's threads stop.
    if (m_teePad) {
        gst_element_release_request_pad(m_tee, m_teePad.get());
        m_teePad.reset();
    }
    gst_element_set_state(m_shared->bin.get(), GST_STATE_NULL);
    gst_bin_remove(GST_BIN(m_pipeline), m_shared->bin.get());
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
            if (m_shared->gotPicture)
                return Event::Finished;
            error = "the camera delivered no picture for the clip";
            return Event::Failed;
        }
        case GST_MESSAGE_ERROR:
            if (source != bin && !gst_object_has_as_ancestor(source, bin))
                return Event::None;
            error = errorText(message);
            return Event::Failed;
        default:
            return Event::None;
    }
}
