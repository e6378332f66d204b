#include "app/wallclockminutes.h"

#include <QSocketNotifier>

#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <system_error>

WallClockMinutes::WallClockMinutes(QObject* parent) : QObject(parent) {
    m_timer = ::timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC);
    if (m_timer < 0) {
        std::fprintf(stderr, "sentello: no timer on the wall clock: %s\n",
                     std::generic_category().message(errno).c_str());
        return;
    }
    m_notifier = new QSocketNotifier(m_timer, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &WallClockMinutes::onExpired);
    arm();
}

WallClockMinutes::~WallClockMinutes() {
    if (m_timer >= 0)
        ::close(m_timer);
}

// Each whole minute from the next on; a setting of the clock cancels the timer, which is then
// armed anew from the new time.
void WallClockMinutes::arm() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    itimerspec minutes{};
    minutes.it_value.tv_sec = (now.tv_sec / 60 + 1) * 60;
    minutes.it_interval.tv_sec = 60;
    if (::timerfd_settime(m_timer, TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &minutes,
                          nullptr) != 0) {
        std::fprintf(stderr, "sentello: the wall clock's timer: %s\n",
                     std::generic_category().message(errno).c_str());
    }
}

void WallClockMinutes::onExpired() {
    std::uint64_t expirations = 0;
    if (::read(m_timer, &expirations, sizeof expirations) < 0 && errno == ECANCELED)
        arm();
    emit minuteBegan();
}
