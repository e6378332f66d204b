#pragma once

#include <QObject>
#include <QTimer>

#include <memory>
#include <optional>

#include "capture/camerasources.h"
#include "capture/frameview.h"

// A picture handed out by grabFrame; the pixels stay valid while the frame is kept.
struct CameraFrame {
    FrameView view;
    // Grows with every picture the camera delivers, so a caller can tell a new one.
    std::uint64_t sequence = 0;
    std::shared_ptr<const void> keepAlive;
};

// The camera: one GStreamer pipeline from the chosen source to an appsink that keeps the
// newest picture as 32-bit blue, green, red, unused. The source delivers in its own size; the
// detection stretches it, so the pipeline has no scaler.
//
// A camera that stops delivering (unplugged, an error on the bus, no picture for a few
// seconds) yields no frames until it is reconnected, which is tried every few seconds.
class Camera : public QObject {
    Q_OBJECT

public:
    explicit Camera(QObject* parent = nullptr);
    ~Camera() override;

    // Starts the pipeline for the source and waits for its first picture (a few seconds at
    // most). Returns whether that picture arrived.
    bool connectSource(const CameraSource& source);

    // The newest picture, or nothing while the camera delivers none.
    std::optional<CameraFrame> grabFrame();

    // Stops the pipeline and releases the camera.
    void disconnectSource();

private:
    struct Pipeline;

    bool startPipeline(bool waitForFirstPicture);
    void stopPipeline();
    void onBusMessage(void* message);
    void checkDelivery();
    bool delivering() const;

    CameraSource m_source;
    std::unique_ptr<Pipeline> m_pipeline;
    QTimer m_watchdog;
};
