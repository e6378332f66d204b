#include "outputs/movieplayer.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <chrono>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <utility>

#include "capture/gstpointer.h"
#include "outputs/alertpipeline.h"

namespace {

// Long enough for a big file on a busy machine; a broken one fails well before.
constexpr auto kPrerollLimit = std::chrono::seconds(10);

// Drops a new element that nobody has taken yet.
void dropFloating(GstElement* element) {
    if (element)
        gst_object_unref(gst_object_ref_sink(element));
}

std::string fileUri(const std::string& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    if (error)
        return {};
    GText uri(g_filename_to_uri(absolute.c_str(), nullptr, nullptr));
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
        GstMessagePointer message(gst_bus_timed_pop_filtered(
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
    GstCapsPointer caps(gst_pad_get_current_caps(pad.get()));
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
        GstSample* sample = gst_app_sink_pull_sample(sink);
        if (!sample)
            return GST_FLOW_EOS;
        std::lock_guard lock(relay->mutex);
        GstVideoInfo info;
        GstVideoFrame frame;
        if (relay->output && gst_video_info_from_caps(&info, gst_sample_get_caps(sample)) &&
            gst_video_frame_map(&frame, &info, gst_sample_get_buffer(sample), GST_MAP_READ)) {
            const QImage view(static_cast<const uchar*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)),
                              GST_VIDEO_FRAME_WIDTH(&frame), GST_VIDEO_FRAME_HEIGHT(&frame),
                              GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0), QImage::Format_RGB32);
            relay->output(view.copy());
            gst_video_frame_unmap(&frame);
        }
        gst_sample_unref(sample);
        return GST_FLOW_OK;
    }
};

// The pictures as 32-bit blue, green, red, unused, at the moment each is due.
GstElement* makePictureSink(PictureRelay& relay) {
    GError* error = nullptr;
    GstElement* bin = gst_parse_bin_from_description(
        "videoconvert ! video/x-raw,format=BGRx ! appsink name=picture sync=true", TRUE, &error);
    if (error) {
        g_error_free(error);
        dropFloating(bin);
        return nullptr;
    }
    GstPointer<GstElement> sink(gst_bin_get_by_name(GST_BIN(bin), "picture"));
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = &PictureRelay::onPicture;
    gst_app_sink_set_callbacks(GST_APP_SINK(sink.get()), &callbacks, &relay, nullptr);
    return bin;
}

class MoviePlayer::Movie {
public:
    Movie(std::unique_ptr<PictureRelay> relay, PipelinePtr playbin, std::pair<int, int> size)
        : m_relay(std::move(relay)),
          m_playbin(std::move(playbin)),
          m_width(size.first),
          m_height(size.second) {}

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
        auto relay = std::make_unique<PictureRelay>();
        GstElement* videoSink = makePictureSink(*relay);
        if (!audioSink || !videoSink) {
            dropFloating(audioSink);
            dropFloating(videoSink);
            return nullptr;
        }
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
        return std::make_unique<Movie>(std::move(relay), std::move(playbin), size);
    }

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
    // Goes after the pipeline, whose streaming threads use it.
    std::unique_ptr<PictureRelay> m_relay;
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

bool MoviePlayer::play(int slot, PictureOutput output) {
    const auto found = m_slots.find(slot);
    return found != m_slots.end() && found->second->play(std::move(output));
}

void MoviePlayer::stop(int slot) {
    const auto found = m_slots.find(slot);
    if (found != m_slots.end())
        found->second->stop();
}
