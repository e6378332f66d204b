#include "detection/clipfiles.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <utility>

#include "detection/avifile.h"

std::string newClipPath(const std::string& folder, const std::string& stem, const DateFields& now) {
    const std::string named = folder + stem + formatDateTemplate("%yyyy%mm%dd%hh%ii%ss", now);
    std::string path = named + ".avi";
    for (int number = 2;; ++number) {
        // Made here, so nothing that stands at the name (a link, a file) is ever written over.
        const int descriptor =
            ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (descriptor >= 0) {
            ::close(descriptor);
            return path;
        }
        // A folder that takes no file: the recording says why.
        if (errno != EEXIST)
            return path;
        path = named + "_" + std::to_string(number) + ".avi";
    }
}

std::string nextClipPath(const std::string& path, const DateFields& now) {
    constexpr std::size_t kDateLength = 14;
    std::string named = path.substr(0, path.size() - std::string(".avi").size());
    // A number after the date, for a name that was taken.
    if (const std::size_t mark = named.rfind('_');
        mark != std::string::npos && mark + 1 < named.size() && mark >= kDateLength &&
        named.find_first_not_of("0123456789", mark + 1) == std::string::npos &&
        named.find_first_not_of("0123456789", mark - kDateLength) == mark) {
        named.erase(mark);
    }
    const std::size_t slash = named.rfind('/') + 1;
    const std::size_t date =
        named.size() >= slash + kDateLength ? named.size() - kDateLength : slash;
    return newClipPath(named.substr(0, slash), named.substr(slash, date - slash), now);
}

bool roomForClip(const std::string& path, std::uint64_t neededBytes) {
    const std::string folder = path.substr(0, path.rfind('/') + 1);
    struct statvfs disk {};
    if (::statvfs(folder.empty() ? "." : folder.c_str(), &disk) != 0)
        return true;
    return std::uint64_t{disk.f_bavail} * disk.f_frsize >= neededBytes;
}

void removeFailedClip(const std::string& path) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode))
        ::unlink(path.c_str());
}

void syncClip(const std::string& path) {
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0)
        return;
    ::fsync(descriptor);
    ::close(descriptor);
}

ClipSyncer::ClipSyncer(std::string path, std::chrono::milliseconds period,
                       std::function<void(const std::string&)> sync, ClipPartSetup parts)
    : m_path(std::move(path)),
      m_period(period),
      m_sync(std::move(sync)),
      m_parts(std::move(parts)),
      m_lock(::open(m_path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)) {
    // Advisory: without the lock the clip is still written, only less well guarded.
    if (m_lock >= 0 && ::flock(m_lock, LOCK_EX | LOCK_NB) != 0) {
        ::close(m_lock);
        m_lock = -1;
    }
    m_thread = std::thread(&ClipSyncer::run, this);
}

ClipSyncer::~ClipSyncer() {
    {
        const std::lock_guard lock(m_mutex);
        m_ending = true;
    }
    m_wake.notify_all();
    m_thread.join();
    if (m_lock >= 0)
        ::close(m_lock);
}

void ClipSyncer::finished() {
    const std::lock_guard lock(m_mutex);
    m_finished = true;
}

void ClipSyncer::run() {
    std::unique_lock lock(m_mutex);
    while (!m_wake.wait_for(lock, m_period, [this] { return m_ending; })) {
        lock.unlock();
        m_sync(m_path);
        if (!m_parts.folder.empty())
            cutPart(false);
        lock.lock();
    }
    if (m_finished && !m_parts.folder.empty()) {
        lock.unlock();
        cutPart(true);
    }
}

void ClipSyncer::cutPart(bool last) {
    const std::string name = m_path.substr(m_path.rfind('/') + 1);
    const std::string stem = name.substr(0, name.size() - std::min<std::size_t>(4, name.size()));
    const int index = m_partIndex + 1;
    const std::string partPath = m_parts.folder + stem + "_teil" +
                                 (index < 10    ? "00"
                                  : index < 100 ? "0"
                                                : "") +
                                 std::to_string(index) + ".avi";
    const AviPart part = writeAviPart(m_path, m_nextPart, partPath, kPartSeconds, last);
    if (part.outcome == AviPart::Outcome::Failed)
        std::fprintf(stderr, "sentello: part of \"%s\": %s\n", m_path.c_str(), part.reason.c_str());
    if (part.outcome != AviPart::Outcome::Written)
        return;
    m_nextPart = part.next;
    m_partIndex = index;
    if (m_parts.written)
        m_parts.written({partPath, index, last});
}
