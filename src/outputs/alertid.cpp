#include "outputs/alertid.h"

#include <sys/random.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>

namespace {

constexpr std::size_t kMaxIdLength = 64;

// From the kernel's generator; where it gives nothing (no such call), the process, a counter
// and the steady clock's nanoseconds still keep ids of one moment apart.
std::uint64_t randomBits() {
    std::uint64_t bits = 0;
    ssize_t count = 0;
    do
        count = ::getrandom(&bits, sizeof bits, 0);
    while (count < 0 && errno == EINTR);
    if (count == static_cast<ssize_t>(sizeof bits))
        return bits;
    static std::atomic<std::uint64_t> counter{0};
    const auto nanoseconds =
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    return (static_cast<std::uint64_t>(::getpid()) << 40) ^ (counter++ << 20) ^ nanoseconds;
}

bool isIdCharacter(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-';
}

}  // namespace

std::string newAlertId(std::int64_t wallMs) {
    char random[17];
    std::snprintf(random, sizeof random, "%016llx", static_cast<unsigned long long>(randomBits()));
    return std::to_string(wallMs < 0 ? 0 : wallMs) + "-" + random;
}

bool isAlertId(std::string_view text) {
    if (text.empty() || text.size() > kMaxIdLength || text.front() == '-')
        return false;
    for (const char c : text)
        if (!isIdCharacter(c))
            return false;
    return true;
}
