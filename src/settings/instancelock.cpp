#include "settings/instancelock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

InstanceLock::InstanceLock(const std::string& settingsFolder) {
    // Close-on-exec, so that a video tool or player the program starts does not hold the lock
    // after the program itself has ended; no link followed, so that nobody can point it at a
    // file of theirs.
    const std::string path = settingsFolder + "Sentello.lock";
    m_descriptor = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_descriptor < 0) {
        m_failure = path + ": " + std::generic_category().message(errno);
        return;
    }
    int result = 0;
    do {
        result = ::flock(m_descriptor, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result == 0) {
        m_state = State::Held;
        return;
    }
    m_state = errno == EWOULDBLOCK ? State::Taken : State::Unusable;
    if (m_state == State::Unusable)
        m_failure = path + ": " + std::generic_category().message(errno);
    ::close(m_descriptor);
    m_descriptor = -1;
}

InstanceLock::~InstanceLock() {
    if (m_descriptor >= 0)
        ::close(m_descriptor);
}
