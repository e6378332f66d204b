#include "media/camera.h"

#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <QEventLoop>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "detection/demoscene.h"
#include "media/cliprecorder.h"
#include "media/gstmessages.h"
#include "media/gstparse.h"
#include "media/gstpointer.h"
#include "media/offeredformats.h"
#include "media/pictureformat.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kFirstPictureTimeout = std::chrono::seconds(5);
constexpr auto kFirstPictureCheck = std::chrono::milliseconds(20);
// Without a picture for this long the camera counts as gone.
constexpr auto kDeliveryTimeout = std::chrono::seconds(3);
constexpr int kReconnectCheckMs = 2000;
constexpr auto kLongestReconnectionDelay = std::chrono::seconds(30);

// A camera that stays away is tried less and less often, at last twice a minute: an attempt
// builds the pipeline anew, which costs a sleeping program more than anything else it does.
std::chrono::milliseconds reconnectionDelay(int attempts) {
    return std::min<std::chrono::milliseconds>(kDeliveryTimeout * (1 << std::min(attempts - 1, 4)),
                                               kLongestReconnectionDelay);
}

// Shared by all pipelines, so a reconnected camera never repeats a sequence number.
std::atomic<std::uint64_t> pictureSequence{0};

// Posted when recorded footage given as the camera has come to its end. The pipeline's own EOS
// does not come while a clip is recorded: the clip's branch goes on.
constexpr const char* kFootageEndedMessage = "sentello-footage-ended";

GstPadProbeReturn noteFootageEnd(GstPad* pad, GstPadProbeInfo* info, gpointer) {
    if (GST_EVENT_TYPE(GST_PAD_PROBE_INFO_EVENT(info)) == GST_EVENT_EOS) {
        GstPointer<GstElement> tee(gst_pad_get_parent_element(pad));
        gst_element_post_message(
            tee.get(), gst_message_new_application(GST_OBJECT(tee.get()),
                                                   gst_structure_new_empty(kFootageEndedMessage)));
    }
    return GST_PAD_PROBE_OK;
}

// The tee feeds the live picture and, while one is recorded, a clip. The balance gives sources
// without controls of their own a brightness, contrast, saturation and hue; at its neutral
// values it passes the pictures through untouched, as the converter before it does when the
// balance takes the source's pixel format. The last converter hands the picture on in the
// format the detection takes it in (followPictureFormat).
std::string sinkDescription() {
    return " ! capsfilter caps=video/x-raw ! videoconvert ! videobalance name=balance"
           " ! tee name=split allow-not-linked=true"
           " ! videoconvert name=pictureconvert ! capsfilter name=pictureformat"
           " caps=video/x-raw,format=BGRx ! appsink name=sink max-buffers=1 drop=true";
}

// The demo camera has its own sound, so its clips have sound on any machine.
std::string soundSourceFor(const CameraSource& source) {
    return source.isDemo() ? "audiotestsrc is-live=true wave=ticks volume=0.4" : "autoaudiosrc";
}

std::string demoDescription() {
    return "appsrc name=demo format=time caps=video/x-raw,format=BGRx,width=" +
           std::to_string(DemoScene::kWidth) + ",height=" + std::to_string(DemoScene::kHeight) +
           ",framerate=" + std::to_string(DemoScene::kFramesPerSecond) + "/1";
}

void logError(GstMessage* message) {
    std::fprintf(stderr, "sentello: camera: %s\n", errorText(message).c_str());
}

// Says why a pipeline did not start, when it told.
void logPendingError(GstBus* bus) {
    if (const GstPointer<GstMessage> message{gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR)})
        logError(message.get());
}

// The input of the filter that holds the source to a format: what the source delivers comes
// in there. Null when there is no such filter.
GstPointer<GstPad> formatFilterInput(GstElement* pipeline) {
    GstPointer<GstElement> filter(gst_bin_get_by_name(GST_BIN(pipeline), "format"));
    return GstPointer<GstPad>(filter ? gst_element_get_static_pad(filter.get(), "sink") : nullptr);
}

// The pulled sample is the appsink's own, which it changes in place after a flush (a replayed
// file) and cannot while we keep it: a sample of our own is kept instead.
GstPointer<GstSample> pullOwnSample(GstAppSink* sink) {
    const GstPointer<GstSample> pulled(gst_app_sink_pull_sample(sink));
    if (!pulled)
        return nullptr;
    return GstPointer<GstSample>(gst_sample_new(
        gst_sample_get_buffer(pulled.get()), gst_sample_get_caps(pulled.get()), nullptr, nullptr));
}

// A network camera's multipart stream never says that no more streams follow, so decodebin
// would hold its pictures back waiting for another one: it is told there is only the one.
void onElementAdded(GstBin*, GstBin*, GstElement* element, gpointer) {
    GstElementFactory* factory = gst_element_get_factory(element);
    if (factory && std::strcmp(gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory)),
                               "multipartdemux") == 0) {
        g_object_set(element, "single-stream", TRUE, nullptr);
    }
}

struct MappedPicture {
    GstPointer<GstSample> sample;
    GstVideoFrame frame{};
    bool mapped = false;
    ~MappedPicture() {
        if (mapped)
            gst_video_frame_unmap(&frame);
    }
};

}  // namespace

// Everything of one running pipeline. The appsink and appsrc callbacks run on GStreamer's
// streaming thread and touch only the members guarded by `mutex` or atomics.
struct Camera::Pipeline {
    PipelinePointer pipeline;
    guint busWatch = 0;

    Camera* owner = nullptr;
    std::mutex mutex;
    GstPointer<GstSample> newest;
    std::uint64_t sequence = 0;
    std::atomic<Clock::rep> lastPictureTime{0};
    std::atomic<bool> failed{false};

    DemoScene demoScene;
    std::int64_t demoFrameNumber = 0;  // streaming thread only

    // The caps of the pictures last grabbed and what they say, read once for all the pictures
    // that come with them (main thread only).
    GstPointer<GstCaps> grabbedCaps;
    GstVideoInfo grabbedInfo{};

    ~Pipeline() {
        // Stopped before the members its streaming threads use go.
        pipeline.reset();
        if (busWatch)
            g_source_remove(busWatch);
    }

    static GstFlowReturn onNewSample(GstAppSink* sink, gpointer self) {
        auto* p = static_cast<Pipeline*>(self);
        GstPointer<GstSample> sample = pullOwnSample(sink);
        if (!sample)
            return GST_FLOW_EOS;
        {
            std::lock_guard lock(p->mutex);
            p->newest = std::move(sample);
            p->sequence = ++pictureSequence;
        }
        p->lastPictureTime = Clock::now().time_since_epoch().count();
        // The main loop hears once of all the pictures that came before it got to them.
        if (!p->owner->m_arrivalPosted.exchange(true))
            QMetaObject::invokeMethod(p->owner, &Camera::onPictureArrived, Qt::QueuedConnection);
        return GST_FLOW_OK;
    }

    static void onDemoNeedData(GstAppSrc* source, guint, gpointer self) {
        auto* p = static_cast<Pipeline*>(self);
        constexpr gsize kSize = DemoScene::kStride * DemoScene::kHeight;
        GstPointer<GstBuffer> buffer(gst_buffer_new_allocate(nullptr, kSize, nullptr));
        GstMapInfo map;
        gst_buffer_map(buffer.get(), &map, GST_MAP_WRITE);
        p->demoScene.render(p->demoFrameNumber, map.data);
        gst_buffer_unmap(buffer.get(), &map);
        const GstClockTime frameDuration = GST_SECOND / DemoScene::kFramesPerSecond;
        GST_BUFFER_PTS(buffer.get()) = p->demoFrameNumber * frameDuration;
        GST_BUFFER_DURATION(buffer.get()) = frameDuration;
        ++p->demoFrameNumber;
        // The source takes the buffer over.
        gst_app_src_push_buffer(source, buffer.release());
    }
};

Camera::Camera(QObject* parent)
    : QObject(parent), m_recorder(std::make_unique<ClipRecorder>([this] { return delivering(); })) {
    m_watchdog.setSingleShot(true);
    connect(&m_watchdog, &QTimer::timeout, this, &Camera::checkDelivery);
    connect(m_recorder.get(), &ClipRecorder::captureStatus, this, &Camera::captureStatus);
    connect(m_recorder.get(), &ClipRecorder::clipPartWritten, this, &Camera::clipPartWritten);
    connect(m_recorder.get(), &ClipRecorder::clipContinued, this, &Camera::clipContinued);
}

Camera::~Camera() {
    disconnectSource();
}

bool Camera::connectSource(const CameraSource& source,
                           QEventLoop::ProcessEventsFlags whileWaiting) {
    m_watchdog.stop();
    m_reconnections = -1;
    m_source = source;
    if (!startPipeline(whileWaiting))
        return false;
    watchDelivery();
    return true;
}

void Camera::awaitSource(const CameraSource& source) {
    stopPipeline();
    m_source = source;
    // Counted as reconnections from here: it was never lost, so no deliveryStopped.
    m_reconnections = 0;
    m_watchdog.start(kReconnectCheckMs);
}

void Camera::disconnectSource() {
    m_watchdog.stop();
    stopPipeline();
}

void Camera::cancelConnecting() {
    if (m_connectionWait)
        m_connectionWait->quit();
}

// The bus is watched only once the camera runs, so errors are taken from it here.
bool Camera::waitForFirstPicture(Pipeline& pipeline, QEventLoop::ProcessEventsFlags whileWaiting) {
    GstPointer<GstBus> bus(gst_element_get_bus(pipeline.pipeline.get()));
    QEventLoop wait;
    bool arrived = false;
    QTimer check;
    connect(&check, &QTimer::timeout, &wait, [&] {
        {
            std::lock_guard lock(pipeline.mutex);
            arrived = pipeline.newest != nullptr;
        }
        if (arrived) {
            wait.quit();
        } else if (GstPointer<GstMessage> error{
                       gst_bus_pop_filtered(bus.get(), GST_MESSAGE_ERROR)}) {
            logError(error.get());
            wait.quit();
        }
    });
    check.start(kFirstPictureCheck);
    QTimer::singleShot(kFirstPictureTimeout, &wait, &QEventLoop::quit);
    m_connectionWait = &wait;
    wait.exec(whileWaiting);
    m_connectionWait = nullptr;
    return arrived;
}

std::vector<CameraFormat> Camera::offeredFormats() const {
    if (!m_pipeline)
        return {};
    const GstPointer<GstPad> input = formatFilterInput(m_pipeline->pipeline.get());
    GstPointer<GstPad> source(input ? gst_pad_get_peer(input.get()) : nullptr);
    if (!source)
        return {};
    // A decoder's caps say what it could deliver for any stream, not what this stream gives.
    // Otherwise what the source can deliver, not what the filter lets through now.
    GstPointer<GstCaps> caps(decodedFromStream(source.get())
                                 ? gst_pad_get_current_caps(input.get())
                                 : gst_pad_peer_query_caps(input.get(), nullptr));
    return ::offeredFormats(caps.get());
}

std::optional<CameraFormat> Camera::currentFormat() const {
    if (!m_pipeline)
        return std::nullopt;
    const GstPointer<GstPad> input = formatFilterInput(m_pipeline->pipeline.get());
    GstPointer<GstCaps> caps(input ? gst_pad_get_current_caps(input.get()) : nullptr);
    const std::vector<CameraFormat> formats = ::offeredFormats(caps.get());
    if (formats.size() != 1)
        return std::nullopt;
    return formats.front();
}

bool Camera::changeFormat(const CameraFormat& format) {
    const std::optional<CameraFormat> previous = m_format;
    m_format = format;
    if (connectSource(m_source))
        return true;
    m_format = previous;
    connectSource(m_source);
    return false;
}

std::unique_ptr<CameraControls> Camera::controls() const {
    if (!m_source.device.empty())
        return deviceControls(m_source.device);
    if (!m_pipeline)
        return nullptr;
    GstPointer<GstElement> balance(
        gst_bin_get_by_name(GST_BIN(m_pipeline->pipeline.get()), "balance"));
    return balanceControls(balance.get());
}

void Camera::startRecording(const ClipRequest& request) {
    m_recorder->startRecording(request, m_pipeline && !m_pipeline->failed);
}

bool Camera::recording() const {
    return m_recorder->recording();
}

void Camera::setPreRecording(const PreRecordingSetup& setup) {
    m_recorder->setPreRecording(setup);
}

bool Camera::preRecording() const {
    return m_recorder->preRecording();
}

void Camera::finishRecording() {
    m_recorder->finishRecording();
}

void Camera::setClipParts(std::string folder) {
    m_recorder->setClipParts(std::move(folder));
}

bool Camera::startPipeline(std::optional<QEventLoop::ProcessEventsFlags> firstPictureWait) {
    stopPipeline();
    // A camera device's description holds its format filter before the decoder.
    const std::string description = (m_source.isDemo() ? demoDescription() : m_source.description) +
                                    (m_source.device.empty() ? " ! capsfilter name=format" : "") +
                                    sinkDescription();
    std::string error;
    PipelinePointer parsed = parseLaunch(description, error);
    if (!parsed) {
        std::fprintf(stderr, "sentello: camera pipeline \"%s\": %s\n", description.c_str(),
                     error.c_str());
        return false;
    }
    auto pipeline = std::make_unique<Pipeline>();
    pipeline->owner = this;
    pipeline->pipeline = std::move(parsed);
    GstElement* element = pipeline->pipeline.get();
    // A starting camera gets the same grace as a running one before it counts as gone.
    pipeline->lastPictureTime = Clock::now().time_since_epoch().count();

    if (m_format) {
        GstPointer<GstElement> filter(gst_bin_get_by_name(GST_BIN(element), "format"));
        GstPointer<GstCaps> caps(gst_caps_from_string(formatCaps(*m_format).c_str()));
        if (filter && caps)
            g_object_set(filter.get(), "caps", caps.get(), nullptr);
    }
    GstPointer<GstElement> tee(gst_bin_get_by_name(GST_BIN(element), "split"));
    GstPointer<GstPad> teeInput(gst_element_get_static_pad(tee.get(), "sink"));
    gst_pad_add_probe(teeInput.get(), GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, &noteFootageEnd, nullptr,
                      nullptr);
    followPictureFormat(
        GstPointer<GstElement>(gst_bin_get_by_name(GST_BIN(element), "pictureconvert")).get(),
        GstPointer<GstElement>(gst_bin_get_by_name(GST_BIN(element), "pictureformat")).get());
    g_signal_connect(element, "deep-element-added", G_CALLBACK(&onElementAdded), nullptr);
    const GstPointer<GstElement> sink(gst_bin_get_by_name(GST_BIN(element), "sink"));
    GstAppSinkCallbacks sinkCallbacks{};
    sinkCallbacks.new_sample = &Pipeline::onNewSample;
    gst_app_sink_set_callbacks(GST_APP_SINK(sink.get()), &sinkCallbacks, pipeline.get(), nullptr);
    if (const GstPointer<GstElement> demo{gst_bin_get_by_name(GST_BIN(element), "demo")}) {
        GstAppSrcCallbacks sourceCallbacks{};
        sourceCallbacks.need_data = &Pipeline::onDemoNeedData;
        gst_app_src_set_callbacks(GST_APP_SRC(demo.get()), &sourceCallbacks, pipeline.get(),
                                  nullptr);
    }

    const GstPointer<GstBus> bus(gst_element_get_bus(element));
    if (gst_element_set_state(element, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        logPendingError(bus.get());
        return false;
    }
    if (firstPictureWait && !waitForFirstPicture(*pipeline, *firstPictureWait))
        return false;
    // Qt runs the GLib main loop on Linux, so the watch fires on the main thread.
    pipeline->busWatch = gst_bus_add_watch(
        bus.get(),
        [](GstBus*, GstMessage* message, gpointer self) -> gboolean {
            static_cast<Camera*>(self)->onBusMessage(message);
            return G_SOURCE_CONTINUE;
        },
        this);
    m_pipeline = std::move(pipeline);
    m_recorder->pipelineStarted(m_pipeline->pipeline.get(), soundSourceFor(m_source));
    return true;
}

void Camera::stopPipeline() {
    m_recorder->pipelineStopping();
    m_pipeline.reset();
}

void Camera::onBusMessage(void* data) {
    auto* message = static_cast<GstMessage*>(data);
    if (m_recorder->handleBusMessage(message))
        return;
    switch (GST_MESSAGE_TYPE(message)) {
        case GST_MESSAGE_ERROR:
            // Late messages of a clip branch that is gone are no camera errors.
            if (!gst_object_has_as_ancestor(GST_MESSAGE_SRC(message),
                                            GST_OBJECT(m_pipeline->pipeline.get())))
                break;
            logError(message);
            m_pipeline->failed = true;
            // A camera that fails while it delivers is reconnected at the next check; one
            // that fails while it is being reconnected keeps to the attempts' spacing.
            if (m_reconnections < 0 && m_watchdog.remainingTime() > kReconnectCheckMs)
                m_watchdog.start(kReconnectCheckMs);
            break;
        case GST_MESSAGE_APPLICATION:
            if (gst_message_has_name(message, kFootageEndedMessage))
                replayFootage();
            break;
        default:
            break;
    }
}

// Recorded footage is replayed from its start again. The seek goes up from the live picture's
// sink alone: the branches of a clip and of the kept footage are no part of the footage (a
// clip of kept footage begins at a source that cannot seek), and the flush that comes down
// stays out of them. Footage that cannot start over delivers no more pictures, which the
// watchdog takes for a lost camera; the seek's answer alone does not.
void Camera::replayFootage() {
    const GstPointer<GstElement> sink(
        gst_bin_get_by_name(GST_BIN(m_pipeline->pipeline.get()), "sink"));
    if (!gst_element_seek_simple(sink.get(), GST_FORMAT_TIME,
                                 GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_KEY_UNIT), 0)) {
        std::fprintf(stderr, "sentello: camera: the footage does not start over\n");
    }
}

bool Camera::delivering() const {
    if (!m_pipeline || m_pipeline->failed)
        return false;
    const Clock::time_point last{Clock::duration(m_pipeline->lastPictureTime.load())};
    return Clock::now() - last < kDeliveryTimeout;
}

void Camera::onPictureArrived() {
    m_arrivalPosted = false;
    // Posted by a pipeline that is gone, or before the new one was taken: no news.
    if (!newestSequence())
        return;
    if (m_reconnections >= 0) {
        emit deliveryResumed(m_reconnections);
        m_reconnections = -1;
        watchDelivery();
    }
    emit pictureArrived();
}

void Camera::watchDelivery() {
    if (!m_pipeline) {
        m_watchdog.start(kReconnectCheckMs);
        return;
    }
    const Clock::time_point last{Clock::duration(m_pipeline->lastPictureTime.load())};
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(last + kDeliveryTimeout - Clock::now());
    m_watchdog.start(std::max(left, std::chrono::milliseconds(1)));
}

void Camera::checkDelivery() {
    if (delivering()) {
        m_recorder->updatePreRecording();
        watchDelivery();
        return;
    }
    m_watchdog.start(kReconnectCheckMs);
    // The clip is finished with what it has before the pipeline starts over.
    if (m_recorder->recording()) {
        m_recorder->endNow();
        return;
    }
    std::fprintf(stderr, "sentello: camera delivers no pictures; reconnecting\n");
    if (m_reconnections < 0) {
        m_reconnections = 0;
        emit deliveryStopped();
    }
    ++m_reconnections;
    // A new pipeline counts as delivering for a while; back is only a picture from it.
    startPipeline(std::nullopt);
    m_watchdog.start(reconnectionDelay(m_reconnections));
}

std::optional<std::uint64_t> Camera::newestSequence() const {
    if (!delivering())
        return std::nullopt;
    std::lock_guard lock(m_pipeline->mutex);
    if (!m_pipeline->newest)
        return std::nullopt;
    return m_pipeline->sequence;
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
        mapped->sample.reset(gst_sample_ref(m_pipeline->newest.get()));
        sequence = m_pipeline->sequence;
    }
    // The caps held keep their address from going to other caps.
    GstCaps* caps = gst_sample_get_caps(mapped->sample.get());
    if (caps != m_pipeline->grabbedCaps.get()) {
        GstVideoInfo info;
        if (!caps || !gst_video_info_from_caps(&info, caps))
            return std::nullopt;
        m_pipeline->grabbedInfo = info;
        m_pipeline->grabbedCaps.reset(gst_caps_ref(caps));
    }
    mapped->mapped = gst_video_frame_map(&mapped->frame, &m_pipeline->grabbedInfo,
                                         gst_sample_get_buffer(mapped->sample.get()), GST_MAP_READ);
    if (!mapped->mapped)
        return std::nullopt;
    const std::optional<FrameView> view = frameViewOf(mapped->frame);
    if (!view)
        return std::nullopt;
    return CameraFrame{*view, sequence, std::move(mapped)};
}
