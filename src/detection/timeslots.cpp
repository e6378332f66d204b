#include "detection/timeslots.h"

#include <algorithm>
#include <optional>

namespace {

constexpr int kFirstMinute = 0;    // 00:00
constexpr int kLastMinute = 2359;  // 23:59

}  // namespace

int hhmmValue(std::string_view text) {
    const std::string joined = std::string(text.substr(0, 2)) +
                               std::string(text.substr(text.size() < 2 ? 0 : text.size() - 2));
    int value = 0;
    for (char c : joined) {
        if (c < '0' || c > '9')
            break;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::string hhmmText(int value) {
    std::string digits = std::to_string(value);
    if (digits.size() < 4)
        digits.insert(0, 4 - digits.size(), '0');
    std::string text = digits.substr(0, 2);
    text += ':';
    text.append(digits, digits.size() - 2);
    return text;
}

int slotForClock(int now, const SlotTimes& times) {
    std::optional<int> today;
    int latest = 0;
    for (int slot = 0; slot < kSlotCount; ++slot) {
        if (now >= times[slot])
            today = slot;
        if (times[slot] >= times[latest])
            latest = slot;
    }
    return today.value_or(latest);
}

TakenTime takeTimeIntoSlot(int value, int slot, const SlotTimes& times) {
    TakenTime taken{value};
    if (slot > 0 && taken.value <= times[slot - 1]) {
        taken.value = times[slot - 1] + 1;
        if (taken.value % 100 == 60)
            taken.value += 40;
        taken.collidedLeft = true;
    }
    if (slot < kSlotCount - 1 && taken.value >= times[slot + 1]) {
        taken.value = times[slot + 1] - 1;
        if (taken.value % 100 == 99)
            taken.value -= 40;
        taken.collidedRight = true;
    }
    // Neighbours edited by hand to 00:00 or 23:59 would push the time out of the day.
    taken.value = std::clamp(taken.value, kFirstMinute, kLastMinute);
    return taken;
}
