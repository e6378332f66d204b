#include "outputs/watchevent.h"

#include <cmath>

std::string shareText(float changePercent) {
    return std::to_string(std::lround(changePercent)) + " %";
}
