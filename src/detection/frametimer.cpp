#include "detection/frametimer.h"

#include <algorithm>

void FrameTimer::start(std::int64_t nowMs) {
    m_running = true;
    m_startMs = nowMs;
    m_lastPassed = 0;
    m_changeOwed = 0;
    m_restOwed = 0;
    m_picture = false;
}

std::int64_t FrameTimer::tickDue(std::int64_t nowMs) const {
    const std::int64_t since = std::max<std::int64_t>(nowMs - m_startMs, 0);
    return std::max<std::int64_t>((since + kFrameIntervalMs - 1) / kFrameIntervalMs, 1);
}

std::int64_t FrameTimer::firstTickAfter(std::int64_t ms) const {
    return tickTime(std::max<std::int64_t>(ms - m_startMs, 0) / kFrameIntervalMs + 1);
}

std::int64_t FrameTimer::owedTick() const {
    if (m_changeOwed == 0 || m_restOwed == 0)
        return std::max(m_changeOwed, m_restOwed);
    return std::min(m_changeOwed, m_restOwed);
}

void FrameTimer::owe(std::int64_t& owed, std::int64_t tick) {
    if (m_running)
        owed = owed == 0 ? tick : std::min(owed, tick);
}

void FrameTimer::countPassedTicks(std::int64_t nowMs, bool held) {
    if (m_running)
        passTicksThrough(tickDue(nowMs) - 1, held);
}

void FrameTimer::holdOff(std::int64_t nowMs, std::int32_t runs, bool held) {
    countPassedTicks(nowMs, held);
    m_state.holdOffFrames = runs;
    owe(m_changeOwed, m_lastPassed + 1);
}

void FrameTimer::holdEnded(std::int64_t nowMs) {
    countPassedTicks(nowMs, true);
    owe(m_changeOwed, m_lastPassed + 1);
}

void FrameTimer::passTickDueNow(std::int64_t nowMs, bool held) {
    if (m_running)
        passTicksThrough(tickDue(nowMs), held);
}

void FrameTimer::losePicture(std::int64_t nowMs, bool held) {
    countPassedTicks(nowMs, held);
    m_picture = false;
}

void FrameTimer::rest(int ms) {
    m_restUntilMs = tickTime(m_lastPassed) + ms;
    owe(m_restOwed, tickDue(m_restUntilMs));
}

std::int64_t FrameTimer::msUntilRun(std::int64_t nowMs) const {
    if (tickDue(nowMs) > m_lastPassed)
        return 0;
    // The tick due now had its run: the next one is due once its period has begun.
    return tickTime(m_lastPassed) + 1 - nowMs;
}

std::optional<std::int64_t> FrameTimer::msUntilOwedRun(std::int64_t nowMs) const {
    const std::int64_t owed = owedTick();
    if (owed == 0)
        return std::nullopt;
    // At the owed tick's own time: a picture that comes before it is that tick's run.
    return std::max<std::int64_t>(tickTime(owed) - nowMs, 0);
}

bool FrameTimer::runIfDue(std::int64_t nowMs, bool held) {
    if (!m_running)
        return false;
    const std::int64_t owed = owedTick();
    std::int64_t tick = tickDue(nowMs);
    if (owed != 0 && owed <= tick)
        tick = owed;
    else if (tick <= m_lastPassed)
        return false;
    passTicksThrough(tick - 1, held);
    m_lastPassed = tick;
    if (m_changeOwed == tick)
        m_changeOwed = 0;
    if (m_restOwed == tick)
        m_restOwed = 0;
    m_picture = m_run(!held && tickTime(tick) >= m_restUntilMs);
    return true;
}

void FrameTimer::passTicksThrough(std::int64_t last, bool held) {
    if (const std::int64_t owed = owedTick(); owed != 0)
        last = std::min(last, owed - 1);
    if (last <= m_lastPassed)
        return;
    std::int64_t first = m_lastPassed + 1;
    m_lastPassed = last;
    if (held || !m_picture)
        return;
    // Ticks while the detection rested only showed the picture.
    first = std::max(first, tickDue(m_restUntilMs));
    if (first <= last)
        countRunsOnSamePicture(m_state, last - first + 1);
}
