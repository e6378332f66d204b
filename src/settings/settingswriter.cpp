#include "settings/settingswriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace {

bool writeAll(int descriptor, std::string_view text) {
    while (!text.empty()) {
        const ssize_t count = ::write(descriptor, text.data(), text.size());
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        text.remove_prefix(static_cast<std::size_t>(count));
    }
    return true;
}

std::string failureText(const char* step) {
    return std::string(step) + ": " + std::strerror(errno);
}

std::optional<std::string> rewriteInPlace(const std::string& path, std::string_view text) {
    const int descriptor = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0)
        return failureText("open");
    struct stat status {};
    std::optional<std::string> failure;
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode))
        failure = "no regular file";
    else if (::pwrite(descriptor, text.data(), text.size(), 0) !=
                 static_cast<ssize_t>(text.size()) ||
             ::ftruncate(descriptor, static_cast<off_t>(text.size())) != 0 ||
             ::fsync(descriptor) != 0)
        failure = failureText("write");
    ::close(descriptor);
    return failure;
}

}  // namespace

std::optional<std::string> writeSettingsText(const std::string& path, const std::string& text,
                                             mode_t mode) {
    struct stat status {};
    // Something that is there but no settings file (a folder, a FIFO, a device) is left alone.
    if (::stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode))
        return "no regular file";

    // A new file beside the old one, on disk before it takes the old one's place. When any
    // step fails, the old file stays as it was.
    const std::string temporary = path + ".new";
    const int descriptor =
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, mode);
    if (descriptor < 0) {
        // A folder that takes no new file, while the file itself may be written.
        if (errno == EACCES || errno == EPERM || errno == EROFS)
            return rewriteInPlace(path, text);
        return failureText("create");
    }
    std::optional<std::string> failure;
    if (!writeAll(descriptor, text))
        failure = failureText("write");
    else if (::fsync(descriptor) != 0)
        failure = failureText("sync");
    ::close(descriptor);
    if (!failure && ::rename(temporary.c_str(), path.c_str()) != 0)
        failure = failureText("rename");
    if (failure) {
        ::unlink(temporary.c_str());
        return failure;
    }
    const std::string folder = std::filesystem::path(path).parent_path().string();
    const int folderDescriptor =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_CLOEXEC);
    if (folderDescriptor >= 0) {
        ::fsync(folderDescriptor);
        ::close(folderDescriptor);
    }
    return std::nullopt;
}

SettingsWriter& SettingsWriter::instance() {
    static SettingsWriter writer;
    return writer;
}

SettingsWriter::SettingsWriter() : m_thread([this] { run(); }) {}

SettingsWriter::~SettingsWriter() {
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void SettingsWriter::write(const std::string& path, std::string text, mode_t mode) {
    {
        const std::lock_guard lock(m_mutex);
        m_pending[path] = {std::move(text), mode};
    }
    m_changed.notify_all();
}

void SettingsWriter::waitUntilWritten(const std::string& path) {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] {
        return !m_pending.contains(path) && !(m_writing && m_writing->first == path);
    });
}

std::optional<std::string> SettingsWriter::pendingText(const std::string& path) const {
    const std::lock_guard lock(m_mutex);
    if (const auto found = m_pending.find(path); found != m_pending.end())
        return found->second.text;
    if (m_writing && m_writing->first == path)
        return m_writing->second;
    return std::nullopt;
}

void SettingsWriter::setFailureReport(
    std::function<void(const std::string&, const std::string&)> report) {
    const std::lock_guard lock(m_reportMutex);
    m_report = std::move(report);
}

void SettingsWriter::reportFailure(const std::string& path, const std::string& reason) {
    std::fprintf(stderr, "sentello: settings not saved: %s: %s\n", path.c_str(), reason.c_str());
    const std::lock_guard lock(m_reportMutex);
    if (m_report)
        m_report(path, reason);
}

void SettingsWriter::run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_stopping || !m_pending.empty(); });
        if (m_pending.empty())
            return;
        auto next = m_pending.extract(m_pending.begin());
        // While this text is on its way, the readers find it here still.
        m_writing.emplace(next.key(), next.mapped().text);
        lock.unlock();
        const std::optional<std::string> failure =
            writeSettingsText(next.key(), next.mapped().text, next.mapped().mode);
        if (failure)
            reportFailure(next.key(), *failure);
        lock.lock();
        m_writing.reset();
        m_changed.notify_all();
    }
}
