#include "outputs/watchevent.h"

#include <algorithm>
#include <cmath>

std::string shareText(float changePercent) {
    return std::to_string(std::lround(changePercent)) + " %";
}

std::string secondsText(double seconds) {
    const long tenths = std::lround(std::max(0.0, seconds) * 10.0);
    return std::to_string(tenths / 10) + "," + std::to_string(tenths % 10) + " s";
}
