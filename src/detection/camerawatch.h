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

    // Called on every run with the camera's newest picture number (none while it delivers
    // nothing) and the time in milliseconds.
    Change observe(std::optional<std::uint64_t> sequence, std::int64_t nowMs);

private:
    std::int64_t m_limitMs = 0;
    std::optional<std::uint64_t> m_lastSequence;
    std::optional<std::int64_t> m_lastPictureMs;
    bool m_lost = false;
};
