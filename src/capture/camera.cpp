#include "capture/camera.h"

#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>

#include "capture/demoscene.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kFirstPictureTimeout = std::chrono::seconds(5);
// Without a picture for this long the camera counts as gone.
constexpr auto kDeliveryTimeout = std::chrono::seconds(3);
constexpr int kReconnectCheckMs = 2000;

// Shared by all pipelines, so a reconnected camera never repeats a sequence number.
std::atomic<std::uint64_t> pictureSequence{0};

std::string sinkDescription() {
    return " ! videoconvert ! video/x-raw,format=BGRx"
           " ! appsink name=sink max-buffers=1 drop=true";
}

std::string demoDescription() {
    return "appsrc name=demo format=time caps=video/x-raw,format=BGRx,width=" +
           std::to_string(DemoScene::kWidth) + ",height=" + std::to_string(DemoScene::kHeight) +
           ",framerate=" + std::to_string(DemoScene::kFramesPerSecond) + "/1";
}

void logError(GstMessage* message) {
    GError* error = nullptr;
    gst_message_parse_error(message, &error, nullptr);
    std::fprintf(stderr, "sentello: camera: %s\n", error ? error->message : "error");
    if (error)
        g_error_free(error);
}

// Says why a pipeline did not start, when it told.
void logPendingError(GstBus* bus) {
    if (GstMessage* message = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR)) {
        logError(message);
        gst_message_unref(message);
    }
}

struct MappedPicture {
    GstSample* sample = nullptr;
    GstVideoFrame frame{};
    bool mapped = false;
    ~MappedPicture() {
        if (mapped)
            gst_video_frame_unmap(&frame);
        if (sample)
            gst_sample_unref(sample);
    }
};

}  // namespace

// Everything of one running pipeline. The appsink and appsrc callbacks run on GStreamer's
// streaming thread and touch only the members guarded by `mutex` or atomics.
struct Camera::Pipeline {
    GstElement* pipeline = nullptr;
    guint busWatch = 0;

    std::mutex mutex;
    std::condition_variable pictureArrived;
    GstSample* newest = nullptr;
    std::uint64_t sequence = 0;
    std::atomic<Clock::rep> lastPictureTime{0};
    std::atomic<bool> failed{false};

    DemoScene demoScene;
    std::int64_t demoFrameNumber = 0;  // streaming thread only

    ~Pipeline() {
        if (pipeline) {
            gst_element_set_state(pipeline, GST_STATE_NULL);
            if (busWatch)
                g_source_remove(busWatch);
            gst_object_unref(pipeline);
        }
        if (newest)
            gst_sample_unref(newest);
    }

    static GstFlowReturn onNewSample(GstAppSink* sink, gpointer self) {
        auto* p = static_cast<Pipeline*>(self);
        GstSample* pulled = gst_app_sink_pull_sample(sink);
        if (!pulled)
            return GST_FLOW_EOS;
        // The pulled sample is the appsink's own, which it changes in place after a flush (a
        // replayed file) and cannot while we keep it: keep a sample of our own instead.
        GstSample* sample = gst_sample_new(gst_sample_get_buffer(pulled),
                                           gst_sample_get_caps(pulled), nullptr, nullptr);
        gst_sample_unref(pulled);
        {
            std::lock_guard lock(p->mutex);
            if (p->newest)
                gst_sample_unref(p->newest);
            p->newest = sample;
            p->sequence = ++pictureSequence;
        }
        p->lastPictureTime = Clock::now().time_since_epoch().count();
        p->pictureArrived.notify_all();
        return GST_FLOW_OK;
    }

    static void onDemoNeedData(GstAppSrc* source, guint, gpointer self) {
        auto* p = static_cast<Pipeline*>(self);
        constexpr gsize kSize = DemoScene::kStride * DemoScene::kHeight;
        GstBuffer* buffer = gst_buffer_new_allocate(nullptr, kSize, nullptr);
        GstMapInfo map;
        gst_buffer_map(buffer, &map, GST_MAP_WRITE);
        p->demoScene.render(p->demoFrameNumber, map.data);
        gst_buffer_unmap(buffer, &map);
        const GstClockTime frameDuration = GST_SECOND / DemoScene::kFramesPerSecond;
        GST_BUFFER_PTS(buffer) = p->demoFrameNumber * frameDuration;
        GST_BUFFER_DURATION(buffer) = frameDuration;
        ++p->demoFrameNumber;
        gst_app_src_push_buffer(source, buffer);
    }
};

Camera::Camera(QObject* parent) : QObject(parent) {
    m_watchdog.setInterval(kReconnectCheckMs);
    connect(&m_watchdog, &QTimer::timeout, this, &Camera::checkDelivery);
}

Camera::~Camera() {
    disconnectSource();
}

bool Camera::connectSource(const CameraSource& source) {
    m_watchdog.stop();
    m_source = source;
    if (!startPipeline(true))
        return false;
    m_watchdog.start();
    return true;
}

void Camera::disconnectSource() {
    m_watchdog.stop();
    stopPipeline();
}

bool Camera::startPipeline(bool waitForFirstPicture) {
    stopPipeline();
    const std::string description =
        (m_source.isDemo() ? demoDescription() : m_source.description) + sinkDescription();
    GError* error = nullptr;
    GstElement* element = gst_parse_launch(description.c_str(), &error);
    if (error) {
        std::fprintf(stderr, "sentello: camera pipeline \"%s\": %s\n", description.c_str(),
                     error->message);
        g_error_free(error);
        if (element)
            gst_object_unref(element);
        return false;
    }
    auto pipeline = std::make_unique<Pipeline>();
    pipeline->pipeline = element;
    // A starting camera gets the same grace as a running one before it counts as gone.
    pipeline->lastPictureTime = Clock::now().time_since_epoch().count();

    GstElement* sink = gst_bin_get_by_name(GST_BIN(element), "sink");
    GstAppSinkCallbacks sinkCallbacks{};
    sinkCallbacks.new_sample = &Pipeline::onNewSample;
    gst_app_sink_set_callbacks(GST_APP_SINK(sink), &sinkCallbacks, pipeline.get(), nullptr);
    gst_object_unref(sink);
    if (GstElement* demo = gst_bin_get_by_name(GST_BIN(element), "demo")) {
        GstAppSrcCallbacks sourceCallbacks{};
        sourceCallbacks.need_data = &Pipeline::onDemoNeedData;
        gst_app_src_set_callbacks(GST_APP_SRC(demo), &sourceCallbacks, pipeline.get(), nullptr);
        gst_object_unref(demo);
    }

    GstBus* bus = gst_element_get_bus(element);
    if (gst_element_set_state(element, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        logPendingError(bus);
        gst_object_unref(bus);
        return false;
    }
    if (waitForFirstPicture) {
        // Nothing runs the main loop yet, so errors are taken from the bus here.
        const auto deadline = Clock::now() + kFirstPictureTimeout;
        std::unique_lock lock(pipeline->mutex);
        while (!pipeline->newest) {
            if (Clock::now() >= deadline)
                break;
            lock.unlock();
            if (GstMessage* message = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR)) {
                logError(message);
                gst_message_unref(message);
                gst_object_unref(bus);
                return false;
            }
            lock.lock();
            pipeline->pictureArrived.wait_for(lock, std::chrono::milliseconds(50));
        }
        const bool arrived = pipeline->newest != nullptr;
        lock.unlock();
        if (!arrived) {
            gst_object_unref(bus);
            return false;
        }
    }
    // Qt runs the GLib main loop on Linux, so the watch fires on the main thread.
    pipeline->busWatch = gst_bus_add_watch(
        bus,
        [](GstBus*, GstMessage* message, gpointer self) -> gboolean {
            static_cast<Camera*>(self)->onBusMessage(message);
            return G_SOURCE_CONTINUE;
        },
        this);
    gst_object_unref(bus);
    m_pipeline = std::move(pipeline);
    return true;
}

void Camera::stopPipeline() {
    m_pipeline.reset();
}

void Camera::onBusMessage(void* data) {
    auto* message = static_cast<GstMessage*>(data);
    switch (GST_MESSAGE_TYPE(message)) {
        case GST_MESSAGE_ERROR:
            logError(message);
            m_pipeline->failed = true;
            break;
        case GST_MESSAGE_EOS:
            // Recorded footage is replayed from its start again.
            if (!gst_element_seek_simple(m_pipeline->pipeline, GST_FORMAT_TIME,
                                         GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_KEY_UNIT),
                                         0)) {
                m_pipeline->failed = true;
            }
            break;
        default:
            break;
    }
}

bool Camera::delivering() const {
    if (!m_pipeline || m_pipeline->failed)
        return false;
    const Clock::time_point last{Clock::duration(m_pipeline->lastPictureTime.load())};
    return Clock::now() - last < kDeliveryTimeout;
}

void Camera::checkDelivery() {
    if (delivering())
        return;
    std::fprintf(stderr, "sentello: camera delivers no pictures; reconnecting\n");
    startPipeline(false);
}

std::optional<CameraFrame> Camera::grabFrame() {
    if (!delivering())
        return std::nullopt;
    auto mapped = std::make_shared<MappedPicture>();
    std::uint64_t sequence = 0;
    {
        std::lock_guard lock(m_pipeline->mutex);
        if (!m_pipeline->newest)
            return std::nullopt;
        mapped->sample = gst_sample_ref(m_pipeline->newest);
        sequence = m_pipeline->sequence;
    }
    GstVideoInfo info;
    mapped->mapped = gst_video_info_from_caps(&info, gst_sample_get_caps(mapped->sample)) &&
                     gst_video_frame_map(&mapped->frame, &info,
                                         gst_sample_get_buffer(mapped->sample), GST_MAP_READ);
    if (!mapped->mapped)
        return std::nullopt;
    const FrameView view{
        static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&mapped->frame, 0)),
        GST_VIDEO_FRAME_WIDTH(&mapped->frame), GST_VIDEO_FRAME_HEIGHT(&mapped->frame),
        GST_VIDEO_FRAME_PLANE_STRIDE(&mapped->frame, 0)};
    return CameraFrame{view, sequence, std::move(mapped)};
}
