#pragma once

#include <QString>

#include <functional>
#include <string>

#include "detection/cliprequest.h"
#include "detection/datetemplate.h"
#include "detection/motiondetector.h"

class GadgetAccess;

// What the trigger actions set going outside the detection.
struct TriggerServices {
    std::function<void()> beep;
    std::function<void(const std::string& path)> playAlertFile;
    std::function<void(const ClipRequest& request)> recordClip;
    std::function<void(const std::string& program, const std::string& argument)> launchProgram;
    // The detection stands still this long; the window goes on.
    std::function<void(int milliseconds)> pauseDetection;
};

// The counter after one more event: the text as a 64-bit whole number plus one; a text that
// is not a number counts as 0, and the largest number stays.
std::string countedOnce(const std::string& counterText);

// Takes the row of the clip at `path` out of the video list; false when it has none.
bool removeClipRow(GadgetAccess& gadgets, const std::string& path);

// What a trigger did besides sounding the alarm: outside the recording mode nothing, in it a
// count (the new count) or a clip (its path), or nothing while a clip is still under way.
struct TriggerOutcome {
    enum class Kind { AlarmOnly, Counted, ClipStarted, ClipUnderWay };
    Kind kind = Kind::AlarmOnly;
    std::string detail;
};

// What a trigger does besides showing it: beep, alert file, then in recording mode count or
// record a clip; and the ends of clips, reported by the camera.
class TriggerActions {
public:
    TriggerActions(GadgetAccess& gadgets, DetectionState& state, std::string clipFolder,
                   std::string clipStem, TriggerServices services);

    TriggerOutcome runTriggerActions();
    // The sounds of a trigger as the options set them (beep, alert file), without counting or
    // recording: for a lost camera and for a test of the alarm.
    void soundAlarm();
    // kCaptureBegins and kCaptureEnds from the camera; `text` is the reason of a failed clip.
    void onCaptureStatus(int status, const QString& text);

    // The date and time of the trigger that started the last clip, "dd.mm.yyyy hh:ii:ss".
    const std::string& lastTriggerText() const { return m_lastTriggerText; }
    const std::string& lastVideoPath() const { return m_lastVideoPath; }
    // From the request of a clip to its end, whether it began or not: no frame is compared
    // meanwhile, so the clip's own start raises no second alarm.
    bool clipUnderWay() const { return m_clipRequested; }

private:
    void startRecording();
    // The list shows only clips that exist: a clip that failed was removed again.
    void removeRowOfMissingClip();

    GadgetAccess& m_gadgets;
    DetectionState& m_state;
    std::string m_clipFolder;
    std::string m_clipStem;
    TriggerServices m_services;
    std::string m_lastTriggerText;
    std::string m_lastVideoPath;
    // From the request of a clip to its end: a trigger meanwhile starts no second clip.
    bool m_clipRequested = false;
};
