#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "detection/motiondetector.h"

// The frame timer: a tick every kFrameIntervalMs from its start, each a run of the detection on
// the camera's newest picture. It is kept as a count, not as a hundred wake-ups a second: a run
// happens when there is something new to look at (a picture, other detection values), as the
// run of the tick due then, and the ticks between two runs, which would have found the same
// picture again and changed nothing but the hold-off and the warm-up, are counted when the
// program next wakes. Whatever changes what the runs do is told here first, so that the ticks
// before it are counted as they were.
//
// A tick after such a change is no mere count: it makes the working frame anew from changed
// values, or after a hold or a rest compares the picture shown meanwhile, which the next
// picture is compared with. That tick is owed a run; no tick after it is counted before the run
// has taken it, however late it comes.
//
// Something that happens between two ticks comes before the later one. "held" says that the
// ticks run no detection (a clip is under way, a dialog is open): they count nothing. The times
// are the main loop's milliseconds.
class FrameTimer {
public:
    // `run` makes one run, comparing the picture (true) or only showing it, and says whether
    // there was a picture.
    FrameTimer(DetectionState& state, std::function<bool(bool compares)> run)
        : m_state(state), m_run(std::move(run)) {}

    // Tick 1 is due a period from now; a stopped timer counts no ticks and makes no runs.
    void start(std::int64_t nowMs);
    void stop() { m_running = false; }
    bool running() const { return m_running; }

    // The ticks that passed until now are counted, before something changes what they do.
    void countPassedTicks(std::int64_t nowMs, bool held);
    // Sets the hold-off; the values of the detection may have changed with it (a slider, the
    // mirroring, another slot), so the tick after it is owed a run.
    void holdOff(std::int64_t nowMs, std::int32_t runs, bool held);
    // The ticks were held until now (a clip has ended): the tick after is owed a run.
    void holdEnded(std::int64_t nowMs);
    // A step of the timer that is no run (the minute step, the clock check): it comes after the
    // run of the tick due now, which passes with it.
    void passTickDueNow(std::int64_t nowMs, bool held);
    // How long until a run for a new picture may be made: 0 when the tick due now has had none.
    std::int64_t msUntilRun(std::int64_t nowMs) const;
    // How long until the time of a tick owed a run; none when no run is owed.
    std::optional<std::int64_t> msUntilOwedRun(std::int64_t nowMs) const;
    // Makes the run of the tick due now, or of an owed tick that has come, the ticks before it
    // counted; false when no run is due (see msUntilRun). While held or resting the run only
    // shows the picture.
    bool runIfDue(std::int64_t nowMs, bool held);
    // The camera's picture is gone (the camera stopped delivering): the ticks from now on are
    // skipped as runs without a picture are, until a run finds one again.
    void losePicture(std::int64_t nowMs, bool held);
    // After a trigger outside the recording mode the detection rests this long from the run
    // that triggered: the ticks before its end only show the picture, the first after it is
    // owed a run.
    void rest(int ms);
    // The time of the first tick later than `ms`.
    std::int64_t firstTickAfter(std::int64_t ms) const;

private:
    std::int64_t tickDue(std::int64_t nowMs) const;
    std::int64_t tickTime(std::int64_t tick) const { return m_startMs + tick * kFrameIntervalMs; }
    // The first tick owed a run; 0 when none is.
    std::int64_t owedTick() const;
    void owe(std::int64_t& owed, std::int64_t tick);
    // Counts the ticks after the last one passed up to `last` (never an owed one), as runs on
    // the same picture.
    void passTicksThrough(std::int64_t last, bool held);

    DetectionState& m_state;
    std::function<bool(bool compares)> m_run;
    bool m_running = false;
    std::int64_t m_startMs = 0;
    // The last tick that had its run or was counted.
    std::int64_t m_lastPassed = 0;
    // Ticks owed a run after a change and at the end of a rest; 0 when none.
    std::int64_t m_changeOwed = 0;
    std::int64_t m_restOwed = 0;
    // The last run found a picture, which the ticks after it find again.
    bool m_picture = false;
    // No rest before the first trigger: the main loop's clock counts from 0 up.
    std::int64_t m_restUntilMs = 0;
};
