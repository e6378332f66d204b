#include "detection/frametimer.h"

#include <algorithm>

void FrameTimer::start(std::int64_t nowMs) {
    m_running = true;
    m_startMs = nowMs;
    m_lastPassed = 0;
    m_runOwed = false;
}

std::int64_t FrameTimer::tickDue(std::int64_t nowMs) const {
    const std::int64_t since = std::max<std::int64_t>(nowMs - m_startMs, 0);
    return std::max<std::int64_t>((since + kFrameIntervalMs - 1) / kFrameIntervalMs, 1);
}

std::int64_t FrameTimer::firstTickAfter(std::int64_t ms) const {
    return tickTime(std::max<std::int64_t>(ms - m_startMs, 0) / kFrameIntervalMs + 1);
}

void FrameTimer::countPassedTicks(std::int64_t nowMs, bool held) {
    if (!m_running)
        return;
    // The run owed to a change comes first, with the hold-off that came with the change: the
    // ticks after it count with its values.
    if (m_runOwed)
        runIfDue(nowMs, held);
    passTicksThrough(tickDue(nowMs) - 1, held);
}

void FrameTimer::holdOff(std::int64_t nowMs, std::int32_t runs, bool held) {
    countPassedTicks(nowMs, held);
    m_state.holdOffFrames = runs;
    m_runOwed = m_running && runs > 0;
}

void FrameTimer::passTickDueNow(std::int64_t nowMs, bool held) {
    countPassedTicks(nowMs, held);
    if (m_running)
        passTicksThrough(tickDue(nowMs), held);
}

std::int64_t FrameTimer::msUntilRun(std::int64_t nowMs) const {
    if (tickDue(nowMs) > m_lastPassed)
        return 0;
    // The tick due now had its run: the next one is due once its period has begun.
    return tickTime(m_lastPassed) + 1 - nowMs;
}

bool FrameTimer::runIfDue(std::int64_t nowMs, bool held) {
    if (!m_running || msUntilRun(nowMs) > 0)
        return false;
    const std::int64_t tick = m_runOwed ? m_lastPassed + 1 : tickDue(nowMs);
    passTicksThrough(tick - 1, held);
    m_lastPassed = tick;
    m_runOwed = false;
    m_run(!held && tickTime(tick) >= m_restUntilMs);
    return true;
}

void FrameTimer::passTicksThrough(std::int64_t last, bool held) {
    if (last <= m_lastPassed)
        return;
    std::int64_t first = m_lastPassed + 1;
    m_lastPassed = last;
    if (held)
        return;
    // Ticks while the detection rested only showed the picture.
    first = std::max(first, tickDue(m_restUntilMs));
    if (first <= last)
        countRunsOnSamePicture(m_state, last - first + 1);
}
