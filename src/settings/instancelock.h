#pragma once

#include <string>

// One running program per settings folder: two watches on the same settings would each delete
// the clip the other is still writing when the storage limit strikes, and overwrite each
// other's settings. The lock is an flock on "Sentello.lock" in the folder, so the kernel drops
// it with the process however that ends (a crash, kill -9, a power cut): nothing is ever left
// behind that would keep the watch from coming back. A profile has its own folder and so its
// own lock.
class InstanceLock {
public:
    enum class State {
        Held,     // this program holds the lock
        Taken,    // another program holds it
        Unusable  // the lock file cannot be opened (a read-only folder, a planted link)
    };

    explicit InstanceLock(const std::string& settingsFolder);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    State state() const { return m_state; }
    // Why the lock file could not be used; empty otherwise.
    const std::string& failure() const { return m_failure; }

private:
    int m_descriptor = -1;
    State m_state = State::Unusable;
    std::string m_failure;
};
