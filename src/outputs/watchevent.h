#pragma once

#include <cstdint>
#include <string>

#include "detection/datetemplate.h"

// One event of the watch, as every channel hears of it (the event log, the desktop, whoever
// comes next): what happened, when, and the values of its kind; the values of other kinds stay
// as they are here.
struct WatchEvent {
    enum class Kind {
        Trigger,            // changePercent, effect, and count or clipPath as the effect says
        ClipFinished,       // clipPath, reason: why it was cut short, where it was
        ClipFailed,         // clipPath, reason
        ClipDeleted,        // clipPath, deletion
        CameraLost,         //
        CameraBack,         // reconnections
        WatchSwitched,      // on: the recording mode, switched by the user
        Uploaded,           // remoteName
        UploadFailed,       // step, reason, detail
        SettingsNotSaved,   // reason
        ProgramStart,       // version, source
        StartAborted,       // reason, detail: what is missing, where known
        ProgramEnd,         //
        RemoteAlarmReport,  // step (what happened), remoteName (the channel), reason, detail (id)
        ClipRepaired,       // clipPath, seconds: a clip cut off by a crash, mended at the start
        ClipNotRepaired,    // clipPath, reason: such a clip that could not be mended
        // Found at start: the run before did not reach its end. reason: the machine restarted
        // since, where it did.
        LastRunEndedAbnormally,
        WatchResumed,  // reason: why the watch was away (a crash, a restart)
    };
    // What a trigger set going besides the alarm: outside the recording mode nothing, in it a
    // count or a clip, or nothing more while a clip is still under way.
    enum class Effect { AlarmOnly, Counted, ClipStarted, DuringClip };
    enum class Deletion { ByHand, StorageLimit };

    Kind kind = Kind::ProgramEnd;
    // The local time at which the main thread heard of it.
    DateFields when{};
    // The share of the picture that changed, in percent.
    float changePercent = 0.0f;
    Effect effect = Effect::AlarmOnly;
    // The counter after this trigger.
    std::int64_t count = 0;
    std::string clipPath{};
    Deletion deletion = Deletion::ByHand;
    int reconnections = 0;
    // How long a repaired clip plays.
    double seconds = 0.0;
    bool on = false;
    std::string remoteName{};
    // The step of an upload that failed ("connect", ...) and what the server said.
    std::string step{};
    std::string reason{};
    std::string detail{};
    // "Version 1.17", and the camera's source as it was given.
    std::string version{};
    std::string source{};
};

// The share of the picture a trigger changed as people read it: "37 %".
std::string shareText(float changePercent);

// A length in seconds as people read it, to a tenth: "5,8 s".
std::string secondsText(double seconds);
