#include "media/movieplayer.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <atomic>
#include <mutex>
#include <optional>
#include <tuple>
#include <utility>

#include "media/gstinit.h"
#include "media/gstparse.h"
#include "media/gstpointer.h"
#include "media/mediafile.h"

namespace {

// playbin's flag GST_PLAY_FLAG_SOFT_VOLUME; the plugin has its flags in no header.
constexpr guint kSoftVolumeFlag = 1u << 4;

// The file's name for playbin. `path` is absolute.
std::string fileUri(const std::string& path) {
    GText uri(g_filename_to_uri(path.c_str(), nullptr, nullptr));
    return uri ? std::string(uri.get()) : std::string();
}

// The natural size of the first video stream, or -1 x -1 when there is none.
std::pair<int, int> pictureSize(GstElement* playbin) {
    gint videoStreams = 0;
    g_object_get(playbin, "n-video", &videoStreams, nullptr);
    if (videoStreams <= 0)
        return {-1, -1};
    GstPad* rawPad = nullptr;
    g_signal_emit_by_name(playbin, "get-video-pad", 0, &rawPad);
    GstPointer<GstPad> pad(rawPad);
    if (!pad)
        return {-1, -1};
    GstPointer<GstCaps> caps(gst_pad_get_current_caps(pad.get()));
    GstVideoInfo info;
    if (!caps || !gst_video_info_from_caps(&info, caps.get()))
        return {-1, -1};
    return {GST_VIDEO_INFO_WIDTH(&info), GST_VIDEO_INFO_HEIGHT(&info)};
}

}  // namespace

// Hands the pictures from the streaming thread to the output of the moment.
struct PictureRelay {
    std::mutex mutex;
    MoviePlayer::PictureOutput output;

    void setOutput(MoviePlayer::PictureOutput newOutput) {
        std::lock_guard lock(mutex);
        output = std::move(newOutput);
    }

    static GstFlowReturn onPicture(GstAppSink* sink, gpointer data) {
        auto* relay = static_cast<PictureRelay*>(data);
        const GstPointer<GstSample> sample(gst_app_sink_pull_sample(sink));
        if (!sample)
            return GST_FLOW_EOS;
        std::lock_guard lock(relay->mutex);
        GstVideoInfo info;
        GstVideoFrame frame;
        if (relay->output && gst_video_info_from_caps(&info, gst_sample_get_caps(sample.get())) &&
            gst_video_frame_map(&frame, &info, gst_sample_get_buffer(sample.get()), GST_MAP_READ)) {
            const QImage view(static_cast<const uchar*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)),
                              GST_VIDEO_FRAME_WIDTH(&frame), GST_VIDEO_FRAME_HEIGHT(&frame),
                              GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0), QImage::Format_RGB32);
            relay->output(view.copy());
            gst_video_frame_unmap(&frame);
        }
        return GST_FLOW_OK;
    }
};

// The pictures as 32-bit blue, green, red, unused, at the moment each is due.
GstPointer<GstElement> makePictureSink(PictureRelay& relay) {
    std::string error;
    GstPointer<GstElement> bin = parseBin(
        "videoconvert ! video/x-raw,format=BGRx ! appsink name=picture sync=true", true, error);
    if (!bin)
        return nullptr;
    GstPointer<GstElement> sink(gst_bin_get_by_name(GST_BIN(bin.get()), "picture"));
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = &PictureRelay::onPicture;
    gst_app_sink_set_callbacks(GST_APP_SINK(sink.get()), &callbacks, &relay, nullptr);
    return bin;
}

class MoviePlayer::Movie {
public:
    // Starts rendering the file in the background; `finished` is told from the main loop.
    static std::unique_ptr<Movie> open(const std::string& path,
                                       const std::string& audioSinkDescription,
                                       std::chrono::milliseconds loadLimit,
                                       std::function<void(bool loaded)> finished) {
        std::optional<MediaFile> file = MediaFile::open(path);
        if (!file || !initGStreamer())
            return nullptr;
        const std::string uri = fileUri(file->openedPath());
        if (uri.empty())
            return nullptr;
        GstElement* madePlaybin = gst_element_factory_make("playbin", nullptr);
        if (!madePlaybin)
            return nullptr;
        PipelinePointer playbin(GST_ELEMENT(gst_object_ref_sink(madePlaybin)));
        // Nothing here sets a volume, and the volume element that playbin adds for one is never
        // freed (GStreamer 1.22): one lost with every alert.
        guint flags = 0;
        g_object_get(playbin.get(), "flags", &flags, nullptr);
        g_object_set(playbin.get(), "flags", flags & ~kSoftVolumeFlag, nullptr);

        std::string error;
        const GstPointer<GstElement> audioSink = parseBin(audioSinkDescription, true, error);
        if (!audioSink)
            return nullptr;
        auto relay = std::make_unique<PictureRelay>();
        const GstPointer<GstElement> videoSink = makePictureSink(*relay);
        if (!videoSink)
            return nullptr;
        // playbin takes references of its own to both sinks.
        g_object_set(playbin.get(), "uri", uri.c_str(), "audio-sink", audioSink.get(), "video-sink",
                     videoSink.get(), nullptr);

        std::unique_ptr<Movie> movie(
            new Movie(std::move(*file), std::move(relay), std::move(playbin), std::move(finished)));
        if (!movie->startLoading(loadLimit))
            return nullptr;
        return movie;
    }

    Movie(const Movie&) = delete;
    Movie& operator=(const Movie&) = delete;
    ~Movie() {
        stopWatching();
        // Before the members that its streaming threads use.
        m_playbin.reset();
    }

    bool loaded() const { return m_loaded; }

    bool play(PictureOutput output) {
        m_relay->setOutput(std::move(output));
        // A movie still playing or at its end starts over; the flush drops what is queued.
        gst_element_seek_simple(m_playbin.get(), GST_FORMAT_TIME,
                                static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH), 0);
        return gst_element_set_state(m_playbin.get(), GST_STATE_PLAYING) !=
               GST_STATE_CHANGE_FAILURE;
    }

    void stop() {
        gst_element_set_state(m_playbin.get(), GST_STATE_PAUSED);
        m_relay->setOutput({});
    }

    int width() const { return m_width; }
    int height() const { return m_height; }

private:
    Movie(MediaFile file, std::unique_ptr<PictureRelay> relay, PipelinePointer playbin,
          std::function<void(bool loaded)> finished)
        : m_file(std::move(file)),
          m_relay(std::move(relay)),
          m_playbin(std::move(playbin)),
          m_finished(std::move(finished)) {}

    bool startLoading(std::chrono::milliseconds loadLimit) {
        g_signal_connect(m_playbin.get(), "element-setup", G_CALLBACK(&Movie::onElementSetup),
                         this);
        GstPointer<GstBus> bus(gst_element_get_bus(m_playbin.get()));
        m_busWatch = gst_bus_add_watch(bus.get(), &Movie::onBusMessage, this);
        m_timeout = g_timeout_add(static_cast<guint>(loadLimit.count()), &Movie::onTimeout, this);
        return m_busWatch != 0 &&
               gst_element_set_state(m_playbin.get(), GST_STATE_PAUSED) != GST_STATE_CHANGE_FAILURE;
    }

    void stopWatching() {
        if (m_busWatch != 0) {
            GstPointer<GstBus> bus(gst_element_get_bus(m_playbin.get()));
            gst_bus_remove_watch(bus.get());
            m_busWatch = 0;
        }
        if (m_timeout != 0) {
            g_source_remove(m_timeout);
            m_timeout = 0;
        }
    }

    // The last thing this movie does on the main loop: `m_finished` may release it.
    void finish(bool loaded) {
        stopWatching();
        if (loaded) {
            m_loaded = true;
            std::tie(m_width, m_height) = pictureSize(m_playbin.get());
            // Nobody reads the messages of a playing movie; a flushing bus drops them.
            GstPointer<GstBus> bus(gst_element_get_bus(m_playbin.get()));
            gst_bus_set_flushing(bus.get(), TRUE);
        }
        m_finished(loaded);
    }

    // Whether the load is over, and how.
    std::optional<bool> outcome(GstMessage* message) const {
        switch (GST_MESSAGE_TYPE(message)) {
            case GST_MESSAGE_ERROR:
            // Posted when the data turned out to be a tracker module.
            case GST_MESSAGE_APPLICATION:
                return false;
            case GST_MESSAGE_ASYNC_DONE: {
                // Elements inside report their own preroll; the pipeline's comes last.
                if (GST_MESSAGE_SRC(message) != GST_OBJECT(m_playbin.get()))
                    return std::nullopt;
                gint audioStreams = 0;
                gint videoStreams = 0;
                g_object_get(m_playbin.get(), "n-audio", &audioStreams, "n-video", &videoStreams,
                             nullptr);
                // Subtitles or other data alone are nothing to play.
                return !m_isModule && (audioStreams > 0 || videoStreams > 0);
            }
            default:
                return std::nullopt;
        }
    }

    static gboolean onBusMessage(GstBus*, GstMessage* message, gpointer data) {
        auto* movie = static_cast<Movie*>(data);
        const std::optional<bool> loaded = movie->outcome(message);
        if (!loaded)
            return G_SOURCE_CONTINUE;
        movie->finish(*loaded);
        return G_SOURCE_REMOVE;
    }

    static gboolean onTimeout(gpointer data) {
        auto* movie = static_cast<Movie*>(data);
        // This source ends with this call.
        movie->m_timeout = 0;
        movie->finish(false);
        return G_SOURCE_REMOVE;
    }

    // On any thread, for every element playbin makes: its type finders say what the data are.
    static void onElementSetup(GstElement*, GstElement* element, gpointer data) {
        GstElementFactory* factory = gst_element_get_factory(element);
        if (factory && g_strcmp0(GST_OBJECT_NAME(factory), "typefind") == 0)
            g_signal_connect(element, "have-type", G_CALLBACK(&Movie::onHaveType), data);
    }

    // On a streaming thread. Modules repeat only in the module player; GStreamer's own module
    // decoder plays them once.
    static void onHaveType(GstElement* typefind, guint, GstCaps* caps, gpointer data) {
        const GstStructure* type = gst_caps_get_structure(caps, 0);
        if (!type || !gst_structure_has_name(type, "audio/x-mod"))
            return;
        static_cast<Movie*>(data)->m_isModule = true;
        gst_element_post_message(
            typefind,
            gst_message_new_application(GST_OBJECT(typefind), gst_structure_new_empty("module")));
    }

    // The pipeline reads the file and uses the relay on its streaming threads.
    MediaFile m_file;
    std::unique_ptr<PictureRelay> m_relay;
    PipelinePointer m_playbin;
    std::function<void(bool loaded)> m_finished;
    guint m_busWatch = 0;
    guint m_timeout = 0;
    std::atomic<bool> m_isModule{false};
    bool m_loaded = false;
    int m_width = 0;
    int m_height = 0;
};

MoviePlayer::MoviePlayer(std::string audioSinkDescription, std::chrono::milliseconds loadLimit)
    : m_audioSinkDescription(std::move(audioSinkDescription)), m_loadLimit(loadLimit) {}

MoviePlayer::~MoviePlayer() = default;

void MoviePlayer::load(int slot, const std::string& path, const LoadDone& done) {
    m_slots.erase(slot);
    std::unique_ptr<Movie> movie =
        Movie::open(path, m_audioSinkDescription, m_loadLimit,
                    [this, slot, done](bool loaded) { finishLoad(slot, loaded, done); });
    if (!movie) {
        done(false);
        return;
    }
    m_slots[slot] = std::move(movie);
}

void MoviePlayer::finishLoad(int slot, bool loaded, const LoadDone& done) {
    // Kept apart from the movie, which a failed load releases.
    const LoadDone tell = done;
    if (!loaded)
        m_slots.erase(slot);
    tell(loaded);
}

int MoviePlayer::pictureWidth(int slot) const {
    const auto found = m_slots.find(slot);
    return found == m_slots.end() || !found->second->loaded() ? 0 : found->second->width();
}

int MoviePlayer::pictureHeight(int slot) const {
    const auto found = m_slots.find(slot);
    return found == m_slots.end() || !found->second->loaded() ? 0 : found->second->height();
}

bool MoviePlayer::play(int slot, PictureOutput output) {
    const auto found = m_slots.find(slot);
    return found != m_slots.end() && found->second->loaded() &&
           found->second->play(std::move(output));
}

void MoviePlayer::stop(int slot) {
    const auto found = m_slots.find(slot);
    if (found != m_slots.end())
        found->second->stop();
}
