#pragma once

#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <atomic>
#include <memory>
#include <optional>

#include "detection/cliprequest.h"
#include "detection/picturesource.h"
#include "media/cameracontrols.h"
#include "media/cameraformat.h"
#include "media/camerasources.h"

class ClipRecorder;

// The camera: one GStreamer pipeline from the chosen source to an appsink that keeps the
// newest picture as 32-bit blue, green, red, unused, or as the source's own I420 when the
// detection converts its colours itself (media/pictureformat.h). The source delivers in its own
// size; the detection stretches it, so the pipeline has no scaler.
//
// A camera that stops delivering (unplugged, an error on the bus, no picture for a few
// seconds) yields no frames until it is reconnected, which is tried every few seconds.
//
// Clips are recorded from the running pipeline in the background (ClipRecorder); the
// captureStatus signal tells when one begins and ends, always on the main thread.
class Camera : public QObject, public PictureSource {
    Q_OBJECT

public:
    explicit Camera(QObject* parent = nullptr);
    ~Camera() override;

    // Starts the pipeline for the source and waits for its first picture (a few seconds at
    // most). Returns whether that picture arrived. The event loop runs while it waits, so
    // windows are painted; input to them waits too unless `whileWaiting` takes it.
    bool connectSource(const CameraSource& source, QEventLoop::ProcessEventsFlags whileWaiting =
                                                       QEventLoop::ExcludeUserInputEvents);
    // Takes a source that is not there yet (or did not answer) and tries it every few seconds,
    // as a camera that stopped delivering, until it delivers (deliveryResumed).
    void awaitSource(const CameraSource& source);
    // Ends the wait of connectSource at once; it then returns false.
    void cancelConnecting();

    std::optional<CameraFrame> grabFrame() override;
    std::optional<std::uint64_t> newestSequence() const override;

    // Stops the pipeline and releases the camera; a clip being recorded is finished first.
    void disconnectSource();

    const std::string& sourceName() const { return m_source.name; }

    // The picture sizes and rates the running source really delivers: those its caps allow
    // for a source that makes its pictures itself (a camera device, a test source), only the
    // one it was made in for footage decoded from a file or a stream.
    std::vector<CameraFormat> offeredFormats() const;
    // The size and rate of the pictures the running source delivers now; none without a
    // camera or when the source does not say its rate.
    std::optional<CameraFormat> currentFormat() const;
    // The format the camera is held to; none: the source's own choice.
    const std::optional<CameraFormat>& format() const { return m_format; }
    // Taken by the next connection.
    void presetFormat(const std::optional<CameraFormat>& format) { m_format = format; }
    // Reconnects with the format. When the source does not deliver it, the camera goes back
    // to the format it had and the result is false.
    bool changeFormat(const CameraFormat& format);
    // The settings of the running camera's picture, changed live; nullptr without a camera.
    std::unique_ptr<CameraControls> controls() const;

    // Starts recording a clip of `request.seconds` seconds from the next picture on. Every
    // request ends with kCaptureEnds, also one that fails at once; kCaptureBegins comes
    // before it when data were written. A request while a clip is recorded is ignored.
    void startRecording(const ClipRequest& request);
    bool recording() const;
    // Clips of the setup's compression begin its seconds before their trigger. A change while
    // a clip is recorded waits for its end.
    void setPreRecording(const PreRecordingSetup& setup);
    bool preRecording() const;
    // Cuts a clip being recorded short and waits until its file is finished (a few seconds at
    // most); kCaptureEnds is sent as usual.
    void finishRecording();
    // Clips from the next on are cut into parts while they are recorded, into `folder` (see
    // ClipRecorder::setClipParts); empty: none.
    void setClipParts(std::string folder);

signals:
    // kCaptureBegins with an empty text; kCaptureEnds with an empty text for a finished clip,
    // and the reason for one cut short (its file is kept) or one that failed (its file is then
    // removed).
    void captureStatus(int status, const QString& text);
    // A part of the clip being recorded is whole (see ClipRecorder::clipPartWritten).
    void clipPartWritten(const QString& clipPath, const QString& partPath, int index, bool last);
    // The clip under way goes on in the file at `path`, as the camera's pictures changed their
    // size; kCaptureEnds comes at the end of that one.
    void clipContinued(const QString& path);
    // A new picture has come since this was last said: the detection looks at it now, not on
    // a clock of its own. Said on the main thread, once for any number of pictures that came
    // before the main loop got to it.
    void pictureArrived();
    // The camera stopped delivering and is being reconnected; it delivers again, after that
    // many attempts.
    void deliveryStopped();
    void deliveryResumed(int reconnections);

private:
    struct Pipeline;

    // Without `firstPictureWait` the pipeline is taken as it starts; with it, only once its
    // first picture came, while the event loop runs with these flags.
    bool startPipeline(std::optional<QEventLoop::ProcessEventsFlags> firstPictureWait);
    bool waitForFirstPicture(Pipeline& pipeline, QEventLoop::ProcessEventsFlags whileWaiting);
    // Every stop of the pipeline goes through here, and the recorder finishes its clip first.
    void stopPipeline();
    void onBusMessage(void* message);
    void replayFootage();
    void onPictureArrived();
    // Looks at the camera again when it would count as gone, unless a picture comes first.
    void watchDelivery();
    void checkDelivery();
    bool delivering() const;

    CameraSource m_source;
    std::optional<CameraFormat> m_format;
    std::unique_ptr<Pipeline> m_pipeline;
    QEventLoop* m_connectionWait = nullptr;
    // Set by the streaming thread when it posts pictureArrived; cleared as that is said.
    std::atomic<bool> m_arrivalPosted{false};
    // A deadline, not a clock: when the camera would count as gone, or the next reconnection.
    QTimer m_watchdog;
    std::unique_ptr<ClipRecorder> m_recorder;
    // Reconnections since the camera stopped delivering; -1 while it delivers.
    int m_reconnections = -1;
};
