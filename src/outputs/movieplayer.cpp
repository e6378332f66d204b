#include "outputs/movieplayer.h"

#include "outputs/alertpipeline.h"

#include <gst/gst.h>
#include <gst/video/video.h>

#include <chrono>
#include <filesystem>
#include <system_error>
#include <utility>

namespace {

// Long enough for a big file on a busy machine; a broken one fails well before.
constexpr auto kPrerollLimit = std::chrono::seconds(10);

struct GstObjectDeleter {
    void operator()(gpointer object) const { gst_object_unref(object); }
};
template <typename T>
using GstPointer = std::unique_ptr<T, GstObjectDeleter>;

struct MessageDeleter {
    void operator()(GstMessage* message) const { gst_message_unref(message); }
};
using Message = std::unique_ptr<GstMessage, MessageDeleter>;

struct CapsDeleter {
    void operator()(GstCaps* caps) const { gst_caps_unref(caps); }
};
using Caps = std::unique_ptr<GstCaps, CapsDeleter>;

// Drops a new element that nobody has taken yet.
void dropFloating(GstElement* element) {
    if (element)
        gst_object_unref(gst_object_ref_sink(element));
}

struct GFreeDeleter {
    void operator()(gpointer memory) const { g_free(memory); }
};

std::string fileUri(const std::string& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    if (error)
        return {};
    std::unique_ptr<gchar, GFreeDeleter> uri(g_filename_to_uri(absolute.c_str(), nullptr, nullptr));
    return uri ? std::string(uri.get()) : std::string();
}

// Waits until the pipeline has prerolled; false on an error or when it takes too long.
bool waitForPreroll(GstElement* pipeline) {
    GstPointer<GstBus> bus(gst_element_get_bus(pipeline));
    const auto deadline = std::chrono::steady_clock::now() + kPrerollLimit;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        Message message(gst_bus_timed_pop_filtered(
            bus.get(), static_cast<GstClockTime>(left.count()),
            static_cast<GstMessageType>(GST_MESSAGE_ASYNC_DONE | GST_MESSAGE_ERROR)));
        if (!message)
            return false;
        if (GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_ERROR)
            return false;
        // Elements inside report their own preroll; the pipeline's comes last.
        if (GST_MESSAGE_SRC(message.get()) == GST_OBJECT(pipeline))
            return true;
    }
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
    Caps caps(gst_pad_get_current_caps(pad.get()));
    GstVideoInfo info;
    if (!caps || !gst_video_info_from_caps(&info, caps.get()))
        return {-1, -1};
    return {GST_VIDEO_INFO_WIDTH(&info), GST_VIDEO_INFO_HEIGHT(&info)};
}

}  // namespace

class MoviePlayer::Movie {
public:
    Movie(PipelinePtr playbin, std::pair<int, int> size)
        : m_playbin(std::move(playbin)), m_width(size.first), m_height(size.second) {}

    static std::unique_ptr<Movie> open(const std::string& path,
                                       const std::string& audioSinkDescription) {
        if (path.empty() || !gst_init_check(nullptr, nullptr, nullptr))
            return nullptr;
        const std::string uri = fileUri(path);
        if (uri.empty())
            return nullptr;
        GstElement* rawPlaybin = gst_element_factory_make("playbin", nullptr);
        if (!rawPlaybin)
            return nullptr;
        PipelinePtr playbin(GST_ELEMENT(gst_object_ref_sink(rawPlaybin)));

        GError* error = nullptr;
        GstElement* audioSink =
            gst_parse_bin_from_description(audioSinkDescription.c_str(), TRUE, &error);
        if (error) {
            g_error_free(error);
            dropFloating(audioSink);
            return nullptr;
        }
        // Nothing shows the picture yet; the sink keeps it in step with the sound.
        GstElement* videoSink = gst_element_factory_make("fakesink", nullptr);
        if (!audioSink || !videoSink) {
            dropFloating(audioSink);
            dropFloating(videoSink);
            return nullptr;
        }
        g_object_set(videoSink, "sync", TRUE, nullptr);
        // playbin takes the floating references of both sinks.
        g_object_set(playbin.get(), "uri", uri.c_str(), "audio-sink", audioSink, "video-sink",
                     videoSink, nullptr);

        const GstStateChangeReturn change = gst_element_set_state(playbin.get(), GST_STATE_PAUSED);
        if (change == GST_STATE_CHANGE_FAILURE)
            return nullptr;
        if (change == GST_STATE_CHANGE_ASYNC && !waitForPreroll(playbin.get()))
            return nullptr;

        gint audioStreams = 0;
        gint videoStreams = 0;
        g_object_get(playbin.get(), "n-audio", &audioStreams, "n-video", &videoStreams, nullptr);
        // Subtitles or other data alone are nothing to play.
        if (audioStreams <= 0 && videoStreams <= 0)
            return nullptr;

        // Nobody reads the messages of a playing movie; a flushing bus drops them.
        GstPointer<GstBus> bus(gst_element_get_bus(playbin.get()));
        gst_bus_set_flushing(bus.get(), TRUE);

        const std::pair<int, int> size = pictureSize(playbin.get());
        return std::make_unique<Movie>(std::move(playbin), size);
    }

    bool play() {
        // A movie still playing or at its end starts over; the flush drops what is queued.
        gst_element_seek_simple(m_playbin.get(), GST_FORMAT_TIME,
                                static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH), 0);
        return gst_element_set_state(m_playbin.get(), GST_STATE_PLAYING) !=
               GST_STATE_CHANGE_FAILURE;
    }

    int width() const { return m_width; }
    int height() const { return m_height; }

private:
    PipelinePtr m_playbin;
    int m_width;
    int m_height;
};

MoviePlayer::MoviePlayer(std::string audioSinkDescription)
    : m_audioSinkDescription(std::move(audioSinkDescription)) {}

MoviePlayer::~MoviePlayer() = default;

bool MoviePlayer::load(int slot, const std::string& path) {
    m_slots.erase(slot);
    std::unique_ptr<Movie> movie = Movie::open(path, m_audioSinkDescription);
    if (!movie)
        return false;
    m_slots[slot] = std::move(movie);
    return true;
}

int MoviePlayer::pictureWidth(int slot) const {
    const auto found = m_slots.find(slot);
    return found == m_slots.end() ? 0 : found->second->width();
}

int MoviePlayer::pictureHeight(int slot) const {
    const auto found = m_slots.find(slot);
    return found == m_slots.end() ? 0 : found->second->height();
}

bool MoviePlayer::play(int slot) {
    const auto found = m_slots.find(slot);
    return found != m_slots.end() && found->second->play();
}
