#pragma once

#include <array>

#include "detection/workframe.h"

// The reference "background picture": a running average of the camera's pictures. Someone who
// walks in differs from it however slowly they move; what stays changed for long (a parked
// car, a moved chair) fades into it.
class BackgroundPicture {
public:
    // Takes a new picture's block averages, `seconds` after the picture before, into the
    // average with the time constant `timeConstant` (in seconds): a change that stays is down
    // to a third of itself after that time. The first picture after a start is taken whole.
    void learn(const BlockGrid& averages, double seconds, double timeConstant);
    // The next picture starts the background anew.
    void forget() { m_started = false; }
    bool started() const { return m_started; }

    // The background's block averages, rounded to whole levels as the comparison takes them.
    const BlockGrid& blocks() const { return m_blocks; }

private:
    // Blue, green and red of each block with the fractions that slow learning needs.
    std::array<float, 3 * kBlockCount> m_levels{};
    BlockGrid m_blocks{};
    bool m_started = false;
};
