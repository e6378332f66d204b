#include "detection/camerawatch.h"

CameraWatch::Change CameraWatch::observe(std::optional<std::uint64_t> sequence,
                                         std::int64_t nowMs) {
    if (!m_lastPictureMs || (sequence && sequence != m_lastSequence)) {
        // The watch starts with the first run, as if a picture had just come.
        const bool first = !m_lastPictureMs;
        m_lastPictureMs = nowMs;
        m_lastSequence = sequence;
        if (!first && m_lost) {
            m_lost = false;
            return Change::Back;
        }
        return Change::None;
    }
    if (m_limitMs > 0 && !m_lost && nowMs - *m_lastPictureMs >= m_limitMs) {
        m_lost = true;
        return Change::Lost;
    }
    return Change::None;
}

std::optional<std::int64_t> CameraWatch::lossDueMs() const {
    if (m_limitMs <= 0 || m_lost || !m_lastPictureMs)
        return std::nullopt;
    return *m_lastPictureMs + m_limitMs;
}
