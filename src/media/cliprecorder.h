#pragma once

#include <gst/gst.h>

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>

#include "detection/clipfiles.h"
#include "detection/cliprequest.h"
#include "media/gstpointer.h"

class ClipBranch;
class PreRecording;

// The clips taken from a camera's pipeline and the footage kept for them from before their
// trigger: starts them, ends them when asked or when their pictures stop, gives up one that
// never finishes, and tells when a clip begins and ends (captureStatus, always on the main
// thread). The camera says when its pipeline starts and, before it stops, lets the recorder
// finish its clip: no way of stopping the pipeline can cut a clip off unfinished.
class ClipRecorder : public QObject {
    Q_OBJECT

public:
    // `delivering`: whether the camera's pictures come now; footage is kept only then.
    explicit ClipRecorder(std::function<bool()> delivering);
    ~ClipRecorder() override;

    // Clips and footage are taken from the tee "split" of `pipeline`, which has just started,
    // with sound from `soundSource`.
    void pipelineStarted(GstElement* pipeline, std::string soundSource);
    // The pipeline is about to stop: the clip being recorded is finished (finishRecording) and
    // the footage goes.
    void pipelineStopping();

    // A clip of `request.seconds` seconds from the next picture on, from the pipeline when it
    // works. Every request ends with kCaptureEnds, also one that fails at once; kCaptureBegins
    // comes before it when data were written. A request while a clip is recorded is ignored.
    // Pictures that change their size end the clip; the rest of its seconds go into a clip of
    // the next name (nextClipPath), and kCaptureEnds comes at the end of that one.
    void startRecording(const ClipRequest& request, bool pipelineWorks);
    bool recording() const { return m_clip != nullptr; }
    // Clips of the setup's compression begin its seconds before their trigger. A change while
    // a clip is recorded waits for its end.
    void setPreRecording(const PreRecordingSetup& setup);
    bool preRecording() const { return m_preRecording != nullptr; }
    // Starts keeping footage as the setup asks once the camera delivers.
    void updatePreRecording();
    // Cuts a clip being recorded short and waits until its file is finished (a few seconds at
    // most); kCaptureEnds is sent as usual. Input to the windows waits meanwhile.
    void finishRecording();
    // The camera delivers no more pictures: the clip ends with what it has.
    void endNow();

    // Clips from the next on are cut into parts while they are recorded, each told with
    // clipPartWritten, into `folder` (ending in "/", one of their own); empty: no parts.
    void setClipParts(std::string folder) { m_clipPartFolder = std::move(folder); }

    // Takes a message of the pipeline's bus that concerns the clip or the footage; false for
    // any other.
    bool handleBusMessage(GstMessage* message);

signals:
    // kCaptureBegins with an empty text; kCaptureEnds with an empty text for a finished clip,
    // and the reason for one cut short (its file is kept) or one that failed (its file is then
    // removed).
    void captureStatus(int status, const QString& text);
    // A part of the clip at `clipPath` is whole at `partPath`, numbered from 1. The clip's last
    // part is cut once its file is finished and told just after kCaptureEnds; a clip that
    // failed has none.
    void clipPartWritten(const QString& clipPath, const QString& partPath, int index, bool last);
    // The clip under way goes on in the file at `path`, as its pictures changed their size.
    void clipContinued(const QString& path);

private:
    bool handleClipMessage(GstMessage* message);
    bool handlePreRecordingMessage(GstMessage* message);
    void onClipOverdue();
    void startClip(const ClipRequest& request, bool pipelineWorks, bool withLead);
    void continueClip();
    // Takes the clip out of the pipeline; its path. A clip `kept` on the disk gets its last
    // part.
    std::string closeClip(bool kept);
    void endClip(const std::string& error, bool kept);

    std::function<bool()> m_delivering;
    GstPointer<GstElement> m_pipeline;
    std::string m_soundSource;
    PreRecordingSetup m_preRecordingSetup;
    // Tried and failed on this pipeline with this setup: not tried again until either changes.
    bool m_preRecordingFailed = false;
    // Outlives the clip, which may take its footage.
    std::unique_ptr<PreRecording> m_preRecording;
    std::unique_ptr<ClipBranch> m_clip;
    ClipRequest m_request;  // of the clip being recorded
    std::unique_ptr<ClipSyncer> m_clipSyncer;
    std::string m_clipPartFolder;
    // Ends a clip whose pictures stopped coming, and gives it up when even that fails.
    QTimer m_clipGuard;
    bool m_clipOverdue = false;
};
