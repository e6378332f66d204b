#pragma once

#include <cstdint>
#include <functional>

#include "detection/motiondetector.h"

// The frame timer: a tick every kFrameIntervalMs from its start, each a run of the detection on
// the camera's newest picture. It is kept as a count, not as a hundred wake-ups a second: a run
// happens when there is something new to look at (a picture, other detection values), as the
// run of the tick due then, and the ticks between two runs, which would have found the same
// picture again and changed nothing but the hold-off and the warm-up, are counted when the
// program next wakes. Whatever changes what the runs do is told here first, so that the ticks
// before it are counted as they were.
//
// Something that happens between two ticks comes before the later one. "held" says that the
// ticks run no detection (a clip is under way, a dialog is open): they count nothing. The times
// are the main loop's milliseconds.
class FrameTimer {
public:
    // `run` makes one run: comparing the picture (true) or only showing it.
    FrameTimer(DetectionState& state, std::function<void(bool compares)> run)
        : m_state(state), m_run(std::move(run)) {}

    // Tick 1 is due a period from now; a stopped timer counts no ticks and makes no runs.
    void start(std::int64_t nowMs);
    void stop() { m_running = false; }
    bool running() const { return m_running; }

    // The ticks that passed until now are counted, before something changes what they do.
    void countPassedTicks(std::int64_t nowMs, bool held);
    // Sets the hold-off. The values of the detection may have changed with it (a slider, the
    // mirroring, another slot): a run is owed to the change, which takes the tick after it
    // however late it comes, as the timer's next tick would have made it.
    void holdOff(std::int64_t nowMs, std::int32_t runs, bool held);
    // A step of the timer that is no run (the minute step, the clock check): it comes after the
    // run of the tick due now, which passes with it.
    void passTickDueNow(std::int64_t nowMs, bool held);
    // How long until a run may be made: 0 when the tick due now has had none.
    std::int64_t msUntilRun(std::int64_t nowMs) const;
    // Makes the run of the tick due now, the ticks before it counted; false when that tick had
    // its run already (see msUntilRun). While held or resting the run only shows the picture.
    bool runIfDue(std::int64_t nowMs, bool held);
    // After a trigger outside the recording mode the detection rests this long from the run
    // that triggered: the ticks before its end only show the picture.
    void rest(int ms) { m_restUntilMs = tickTime(m_lastPassed) + ms; }
    // The time of the first tick later than `ms`.
    std::int64_t firstTickAfter(std::int64_t ms) const;

private:
    std::int64_t tickDue(std::int64_t nowMs) const;
    std::int64_t tickTime(std::int64_t tick) const { return m_startMs + tick * kFrameIntervalMs; }
    // Counts the ticks after the last one passed up to `last`, as runs on the same picture.
    void passTicksThrough(std::int64_t last, bool held);

    DetectionState& m_state;
    std::function<void(bool compares)> m_run;
    bool m_running = false;
    std::int64_t m_startMs = 0;
    // The last tick that had its run or was counted.
    std::int64_t m_lastPassed = 0;
    bool m_runOwed = false;
    // No rest before the first trigger: the main loop's clock counts from 0 up.
    std::int64_t m_restUntilMs = 0;
};
