#include "cachesize.h"

#include <algorithm>
#include <fstream>
#include <string>

namespace {

// sysconf's cache figures are wrong on some virtual machines; the kernel's are not.
std::size_t cacheIndexBytes(int index) {
    const std::string folder =
        "/sys/devices/system/cpu/cpu0/cache/index" + std::to_string(index) + "/";
    std::ifstream file(folder + "size");
    std::size_t amount = 0;
    std::string unit;
    if (!(file >> amount))
        return 0;
    file >> unit;
    if (unit == "K")
        return amount * 1024;
    if (unit == "M")
        return amount * 1024 * 1024;
    return amount;
}

}  // namespace

std::size_t largestCacheBytes() {
    constexpr std::size_t kGuess = 64u * 1024 * 1024;
    std::size_t largest = 0;
    for (int index = 0; index < 8; ++index)
        largest = std::max(largest, cacheIndexBytes(index));
    return largest > 0 ? largest : kGuess;
}
