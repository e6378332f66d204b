#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

#include "detection/datetemplate.h"

// What the main loop reads of time: the local wall clock (clock label, time slots, captions)
// and a millisecond count that only goes forward (the minute step). Tests set both.
struct MainLoopClock {
    std::function<DateFields()> localNow = ::localNow;
    std::function<std::int64_t()> ticksMs = [] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    };
};
