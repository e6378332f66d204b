#pragma once

#include <cstdint>
#include <optional>

// Tells when the camera has delivered no new picture for a set time, once for each loss, and
// when pictures come again after that.
class CameraWatch {
public:
    enum class Change { None, Lost, Back };

    // 0 switches the watch off; a loss that was told stays told.
    void setLimit(int seconds) { m_limitMs = std::int64_t{seconds} * 1000; }

    // Called with the camera's newest picture number (none while it delivers nothing) and the
    // time in milliseconds: on each new picture, and when a loss is due.
    Change observe(std::optional<std::uint64_t> sequence, std::int64_t nowMs);
    // When a loss is told unless a new picture comes first; none while the watch is off, has
    // not started or told the loss already.
    std::optional<std::int64_t> lossDueMs() const;

private:
    std::int64_t m_limitMs = 0;
    std::optional<std::uint64_t> m_lastSequence;
    std::optional<std::int64_t> m_lastPictureMs;
    bool m_lost = false;
};
