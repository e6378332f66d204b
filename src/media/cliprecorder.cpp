#include "media/cliprecorder.h"

#include <QEventLoop>

#include <algorithm>
#include <cstdio>
#include <utility>

#include "detection/clipfiles.h"
#include "detection/datetemplate.h"
#include "media/clipbranch.h"
#include "media/gstmessages.h"
#include "media/prerecording.h"

namespace {

// A clip that has not ended this long after its length is ended from outside; one that is
// still not finished after as long again is given up.
constexpr int kClipGraceMs = 5000;
constexpr int kShutdownClipWaitMs = 2 * kClipGraceMs;

void logClipError(const std::string& path, const std::string& error) {
    std::fprintf(stderr, "sentello: recording \"%s\": %s\n", path.c_str(), error.c_str());
}

}  // namespace

ClipRecorder::ClipRecorder(std::function<bool()> delivering) : m_delivering(std::move(delivering)) {
    m_clipGuard.setSingleShot(true);
    connect(&m_clipGuard, &QTimer::timeout, this, &ClipRecorder::onClipOverdue);
}

ClipRecorder::~ClipRecorder() = default;

void ClipRecorder::pipelineStarted(GstElement* pipeline, std::string soundSource) {
    m_pipeline.reset(GST_ELEMENT(gst_object_ref(pipeline)));
    m_soundSource = std::move(soundSource);
    m_preRecordingFailed = false;
    updatePreRecording();
}

void ClipRecorder::pipelineStopping() {
    finishRecording();
    m_preRecording.reset();
    m_pipeline.reset();
}

void ClipRecorder::startRecording(const ClipRequest& request, bool pipelineWorks) {
    if (!m_clip)
        startClip(request, pipelineWorks, true);
}

void ClipRecorder::startClip(const ClipRequest& request, bool pipelineWorks, bool withLead) {
    std::string error = "the camera delivers no pictures";
    if (!roomForClip(request.path)) {
        error = "less than " + std::to_string(kMinFreeClipBytes >> 20) + " MB free on the disk";
    } else if (m_pipeline && pipelineWorks) {
        GstPointer<GstElement> tee(gst_bin_get_by_name(GST_BIN(m_pipeline.get()), "split"));
        if (withLead && m_preRecording &&
            m_preRecording->setup().compression == request.compression) {
            m_clip =
                ClipBranch::startWithFootage(m_pipeline.get(), *m_preRecording, request, error);
        } else {
            m_clip = ClipBranch::start(m_pipeline.get(), tee.get(), request, m_soundSource, error);
        }
    }
    if (!m_clip) {
        logClipError(request.path, error);
        removeFailedClip(request.path);
        // Told from the event loop, as for every clip, never from within the request.
        QMetaObject::invokeMethod(
            this,
            [this, error] { emit captureStatus(kCaptureEnds, QString::fromStdString(error)); },
            Qt::QueuedConnection);
        return;
    }
    m_request = request;
    m_clipOverdue = false;
    ClipPartSetup parts;
    if (!m_clipPartFolder.empty()) {
        parts.folder = m_clipPartFolder;
        // Cut on the syncer's thread, told on the recorder's.
        parts.written = [this, clip = QString::fromStdString(request.path)](const ClipPart& part) {
            QMetaObject::invokeMethod(
                this,
                [this, clip, path = QString::fromStdString(part.path), part] {
                    emit clipPartWritten(clip, path, part.index, part.last);
                },
                Qt::QueuedConnection);
        };
    }
    m_clipSyncer =
        std::make_unique<ClipSyncer>(request.path, ClipSyncer::kPeriod, syncClip, std::move(parts));
    m_clipGuard.start(request.seconds * 1000 + kClipGraceMs);
}

void ClipRecorder::finishRecording() {
    if (!m_clip)
        return;
    m_clip->requestEnd();
    QEventLoop wait;
    connect(this, &ClipRecorder::captureStatus, &wait, [&wait](int status) {
        if (status == kCaptureEnds)
            wait.quit();
    });
    QTimer::singleShot(kShutdownClipWaitMs, &wait, &QEventLoop::quit);
    // The pictures end the clip; a camera that sends none is ended from here.
    QTimer::singleShot(kClipGraceMs / 5, &wait, [this] { endNow(); });
    // Called at shutdown and while the camera is changed: a click meanwhile would reach a
    // window whose camera is half gone.
    wait.exec(QEventLoop::ExcludeUserInputEvents);
    if (m_clip)
        endClip("the clip was not finished in time", false);
}

void ClipRecorder::endNow() {
    if (m_clip)
        m_clip->endNow();
}

void ClipRecorder::onClipOverdue() {
    if (!m_clip)
        return;
    if (m_clipOverdue) {
        endClip("the clip was not finished in time", false);
        return;
    }
    m_clipOverdue = true;
    m_clip->endNow();
    m_clipGuard.start(kClipGraceMs);
}

std::string ClipRecorder::closeClip(bool kept) {
    m_clipGuard.stop();
    if (kept && m_clipSyncer)
        m_clipSyncer->finished();
    m_clipSyncer.reset();
    std::string path = m_clip->path();
    if (m_preRecording)
        m_preRecording->detach();
    m_clip.reset();
    return path;
}

// The camera's pictures changed their size: the clip so far is kept, finished, and the rest of
// its length goes into a clip of its own, without a lead, which ends the request as a clip does.
void ClipRecorder::continueClip() {
    ClipRequest rest = m_request;
    rest.seconds = std::max(1, (m_clipGuard.remainingTime() - kClipGraceMs + 999) / 1000);
    rest.path = nextClipPath(m_request.path, localNow());
    const std::string path = closeClip(true);
    syncClip(path);
    logClipError(path, "the picture size changed; the clip goes on in \"" + rest.path + "\"");
    startClip(rest, true, false);
    if (m_clip)
        emit clipContinued(QString::fromStdString(rest.path));
    updatePreRecording();
}

void ClipRecorder::endClip(const std::string& error, bool kept) {
    const std::string path = closeClip(kept);
    updatePreRecording();
    if (!error.empty())
        logClipError(path, error);
    if (kept)
        syncClip(path);
    else
        removeFailedClip(path);
    emit captureStatus(kCaptureEnds, QString::fromStdString(error));
}

bool ClipRecorder::handleBusMessage(GstMessage* message) {
    return handleClipMessage(message) || handlePreRecordingMessage(message);
}

bool ClipRecorder::handleClipMessage(GstMessage* message) {
    if (!m_clip)
        return false;
    std::string error;
    switch (m_clip->handleBusMessage(message, error)) {
        case ClipBranch::Event::None:
            return false;
        case ClipBranch::Event::Begun:
            emit captureStatus(kCaptureBegins, QString());
            return true;
        case ClipBranch::Event::Ended:
            if (error.empty() && m_clip->pictureSizeChanged())
                continueClip();
            else
                endClip(error, true);
            return true;
        case ClipBranch::Event::Failed:
            endClip(error, false);
            return true;
    }
    return false;
}

void ClipRecorder::setPreRecording(const PreRecordingSetup& setup) {
    m_preRecordingSetup = setup;
    m_preRecordingFailed = false;
    updatePreRecording();
}

// The pre-recording starts once the camera delivers, when the rate of its pictures is known.
// A clip takes its footage from the running one, so a change waits for the clip's end.
void ClipRecorder::updatePreRecording() {
    if (m_clip)
        return;
    if (m_preRecording && m_preRecording->setup() != m_preRecordingSetup)
        m_preRecording.reset();
    if (m_preRecording || m_preRecordingSetup.seconds <= 0 || m_preRecordingFailed || !m_pipeline ||
        !m_delivering()) {
        return;
    }
    GstPointer<GstElement> tee(gst_bin_get_by_name(GST_BIN(m_pipeline.get()), "split"));
    std::string error;
    m_preRecording =
        PreRecording::start(m_pipeline.get(), tee.get(), m_preRecordingSetup, m_soundSource, error);
    if (!m_preRecording) {
        std::fprintf(stderr, "sentello: footage before the trigger: %s\n", error.c_str());
        m_preRecordingFailed = true;
    }
}

// A pre-recording that fails goes; the camera and clips taken the usual way go on.
bool ClipRecorder::handlePreRecordingMessage(GstMessage* message) {
    if (!m_preRecording || GST_MESSAGE_TYPE(message) != GST_MESSAGE_ERROR ||
        !m_preRecording->owns(message)) {
        return false;
    }
    std::fprintf(stderr, "sentello: footage before the trigger: %s\n", errorText(message).c_str());
    if (m_clip && m_clip->takesFootage())
        m_clip->endNow();
    m_preRecording.reset();
    m_preRecordingFailed = true;
    return true;
}
