#pragma once

#include <functional>
#include <optional>
#include <string>

#include "detection/cliprequest.h"
#include "detection/motiondetector.h"

// The options a trigger goes by, as the window's gadgets hold them at the moment of the
// trigger. Texts are the stored bytes: file names on Linux are bytes.
struct TriggerOptions {
    bool beep = false;
    bool playAlertFile = false;
    std::string alertFile;
    bool recordMode = false;
    bool countOnly = false;
    // The counter's text as it stands.
    std::string counter;
    int waitSeconds = 0;
    int clipLengthSeconds = 0;
    bool clipWithSound = false;
    // Hands a finished clip to this program.
    bool launchVideoTool = false;
    std::string videoTool;
};

// What the trigger actions set going outside the detection.
struct TriggerServices {
    std::function<void()> beep;
    std::function<void(const std::string& path)> playAlertFile;
    std::function<void(const std::string& program, const std::string& argument)> launchProgram;
    // The detection stands still this long; the window goes on.
    std::function<void(int milliseconds)> pauseDetection;
};

// The counter after one more event: the text as a 64-bit whole number plus one; a text that
// is not a number counts as 0, and the largest number stays.
std::string countedOnce(const std::string& counterText);

// What a trigger did besides sounding the alarm: outside the recording mode nothing, in it a
// count (the new count) or a clip (its path), or nothing while a clip is still under way. The
// window takes what changed: the counter's new text, the video list's new row, and then the
// clip to record.
struct TriggerOutcome {
    enum class Kind { AlarmOnly, Counted, ClipStarted, ClipUnderWay };
    Kind kind = Kind::AlarmOnly;
    std::string detail;
    // A started clip's row: its path and the trigger's date, "dd.mm.yyyy hh:ii:ss", with a
    // line feed between.
    std::string clipRow;
    std::optional<ClipRequest> clip;
};

// What a trigger does besides showing it: beep, alert file, then in recording mode count or
// record a clip; and the ends of clips, reported by the camera.
class TriggerActions {
public:
    TriggerActions(DetectionState& state, std::string clipFolder, std::string clipStem,
                   TriggerServices services);

    TriggerOutcome runTriggerActions(const TriggerOptions& options);
    // The sounds of a trigger as the options set them (beep, alert file), without counting or
    // recording: for a lost camera and for a test of the alarm.
    void soundAlarm(const TriggerOptions& options);
    // kCaptureBegins and kCaptureEnds from the camera; `reason` is why a clip failed. Returns
    // the path of a clip that is not there after its end (it failed and was removed): the list
    // shows only clips that exist.
    std::optional<std::string> onCaptureStatus(int status, const std::string& reason,
                                               const TriggerOptions& options);

    // The clip under way goes on in the file at `path` (its camera changed its picture size),
    // which becomes the last clip; its line for the clip list.
    std::string clipContinued(const std::string& path);

    // The date and time of the trigger that started the last clip, "dd.mm.yyyy hh:ii:ss".
    const std::string& lastTriggerText() const { return m_lastTriggerText; }
    const std::string& lastVideoPath() const { return m_lastVideoPath; }
    // From the request of a clip to its end, whether it began or not: no frame is compared
    // meanwhile, so the clip's own start raises no second alarm.
    bool clipUnderWay() const { return m_clipRequested; }

private:
    TriggerOutcome startRecording(const TriggerOptions& options);

    DetectionState& m_state;
    std::string m_clipFolder;
    std::string m_clipStem;
    TriggerServices m_services;
    std::string m_lastTriggerText;
    std::string m_lastVideoPath;
    // From the request of a clip to its end: a trigger meanwhile starts no second clip.
    bool m_clipRequested = false;
};
