#pragma once

#include <array>
#include <string>
#include <string_view>

#include "settings/settingskeys.h"

// The day's four periods, each beginning at the time of day in its slot tab ("hh:mm").
using SlotTimes = std::array<int, kSlotCount>;  // as hhmmValue, in tab order

// "06:00" as 600: the first two and the last two characters read as one decimal number.
int hhmmValue(std::string_view text);
// 5 as "00:05", 959 as "09:59", 2215 as "22:15".
std::string hhmmText(int value);

// The slot whose period the clock is in: the last one whose time has come today; before every
// slot's time, the one whose time came last yesterday (the latest), so that the night's
// values hold through the night whenever the program starts or the minute changes.
int slotForClock(int now, const SlotTimes& times);

// A time taken into slot `slot`, corrected when it does not lie between the times of the
// neighbouring slots: one minute after the left one, one minute before the right one.
struct TakenTime {
    int value = 0;
    bool collidedLeft = false;
    bool collidedRight = false;
};
TakenTime takeTimeIntoSlot(int value, int slot, const SlotTimes& times);
