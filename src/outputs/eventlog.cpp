#include "outputs/eventlog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "settings/utf8.h"

namespace {

void appendField(std::string& line, const std::string& field) {
    for (std::size_t at = 0; at < field.size();) {
        const char c = field[at];
        if (c == '\t' || c == '\r' || c == '\n') {
            line += ' ';
            ++at;
            continue;
        }
        const std::size_t length = firstUtf8Character(std::string_view(field).substr(at)).length;
        if (length == 0) {
            line += '?';
            ++at;
            continue;
        }
        line.append(field, at, length);
        at += length;
    }
}

// The log file opened for appending; -1 when it cannot be, or is not a plain file.
int openLog(const std::string& path, struct stat& status) {
    const int descriptor = ::open(
        path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (descriptor < 0)
        return -1;
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(descriptor);
        return -1;
    }
    return descriptor;
}

// Writes all of `line` or, when the disk takes only part of it, takes that part back.
bool writeWhole(int descriptor, const std::string& line, off_t sizeBefore) {
    std::size_t written = 0;
    while (written < line.size()) {
        const ssize_t now = ::write(descriptor, line.data() + written, line.size() - written);
        if (now < 0 && errno == EINTR)
            continue;
        if (now <= 0) {
            if (written > 0 && ::ftruncate(descriptor, sizeBefore) != 0)
                std::perror("sentello: event log");
            return false;
        }
        written += static_cast<std::size_t>(now);
    }
    return true;
}

// The lines of a plain file, oldest first; a file larger than two generations is read from
// where its last ones begin.
std::vector<std::string> linesOf(const std::string& path) {
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0)
        return {};
    struct stat status {};
    std::string text;
    if (::fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode)) {
        const off_t start =
            std::max<off_t>(0, status.st_size - static_cast<off_t>(2 * EventLog::kRotationBytes));
        char buffer[65536];
        for (off_t at = start;;) {
            const ssize_t count = ::pread(descriptor, buffer, sizeof buffer, at);
            if (count < 0 && errno == EINTR)
                continue;
            if (count <= 0)
                break;
            text.append(buffer, static_cast<std::size_t>(count));
            at += count;
            if (text.size() > 2 * EventLog::kRotationBytes)
                break;
        }
    }
    ::close(descriptor);
    std::vector<std::string> lines;
    for (std::size_t begin = 0; begin < text.size();) {
        const std::size_t end = std::min(text.find('\n', begin), text.size());
        lines.push_back(text.substr(begin, end - begin));
        begin = end + 1;
    }
    return lines;
}

std::string fileName(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

std::vector<std::string> triggerFields(const WatchEvent& event) {
    std::vector<std::string> fields{"Auslösung", shareText(event.changePercent)};
    switch (event.effect) {
        case WatchEvent::Effect::AlarmOnly:
            break;
        case WatchEvent::Effect::Counted:
            fields.push_back("gezählt: " + std::to_string(event.count));
            break;
        case WatchEvent::Effect::ClipStarted:
            fields.push_back("Video " + fileName(event.clipPath));
            break;
        case WatchEvent::Effect::DuringClip:
            fields.push_back("während Video " + fileName(event.clipPath));
            break;
    }
    return fields;
}

}  // namespace

std::vector<std::string> eventLogFields(const WatchEvent& event) {
    using Kind = WatchEvent::Kind;
    switch (event.kind) {
        case Kind::Trigger:
            return triggerFields(event);
        case Kind::ClipFinished:
            if (event.reason.empty())
                return {"Video fertig", fileName(event.clipPath)};
            return {"Video fertig", fileName(event.clipPath), event.reason};
        case Kind::ClipFailed:
            return {"Video fehlgeschlagen", fileName(event.clipPath), event.reason};
        case Kind::ClipDeleted:
            return {"Video gelöscht", fileName(event.clipPath),
                    event.deletion == WatchEvent::Deletion::ByHand ? "von Hand" : "Speichergrenze"};
        case Kind::CameraLost:
            return {"Kamera verloren"};
        case Kind::CameraBack:
            return {"Kamera wieder da", "nach " + std::to_string(event.reconnections) +
                                            (event.reconnections == 1 ? " Verbindungsversuch"
                                                                      : " Verbindungsversuchen")};
        case Kind::WatchSwitched:
            return {};
        case Kind::Uploaded:
            return {"Upload", event.remoteName};
        case Kind::UploadFailed:
            return {"Upload fehlgeschlagen", event.step, event.reason, event.detail};
        case Kind::SettingsNotSaved:
            return {"Einstellungen nicht gespeichert", event.reason};
        case Kind::ProgramStart:
            return {"Start", "Sentello " + event.version, event.source};
        case Kind::StartAborted:
            if (event.detail.empty())
                return {"Abbruch", event.reason};
            return {"Abbruch", event.reason, event.detail};
        case Kind::ProgramEnd:
            return {"Ende"};
        case Kind::ClipRepaired:
            return {"Video nach Abbruch repariert", fileName(event.clipPath),
                    secondsText(event.seconds)};
        case Kind::ClipNotRepaired:
            return {"Video nach Abbruch nicht reparierbar", fileName(event.clipPath), event.reason};
        case Kind::LastRunEndedAbnormally:
            if (event.reason.empty())
                return {"Letzter Lauf endete unerwartet"};
            return {"Letzter Lauf endete unerwartet", event.reason};
        case Kind::WatchResumed:
            return {"Überwachung fortgesetzt", event.reason};
        case Kind::RemoteAlarmReport: {
            std::vector<std::string> fields{"Fernalarm", event.step};
            for (const std::string* more : {&event.remoteName, &event.reason}) {
                if (!more->empty())
                    fields.push_back(*more);
            }
            return fields;
        }
    }
    return {};
}

std::string eventLogPath(const std::string& settingsFile) {
    return (std::filesystem::path(settingsFile).parent_path() / "Sentello.log").string();
}

std::vector<std::string> recentEvents(const std::string& path, std::size_t count) {
    std::vector<std::string> events;
    for (const std::string& generation : {path, path + ".1"}) {
        const std::vector<std::string> lines = linesOf(generation);
        for (auto line = lines.rbegin(); line != lines.rend() && events.size() < count; ++line)
            events.push_back(*line);
    }
    return events;
}

std::string eventLine(const DateFields& when, const std::vector<std::string>& fields) {
    std::string line = formatDateTemplate("%yyyy-%mm-%dd %hh:%ii:%ss", when);
    for (const std::string& field : fields) {
        line += '\t';
        appendField(line, field);
    }
    line += '\n';
    return line;
}

EventLog::EventLog(std::string path, std::function<void()> written)
    : m_path(std::move(path)), m_written(std::move(written)), m_writer([this] { run(); }) {}

EventLog::~EventLog() {
    {
        std::lock_guard lock(m_mutex);
        m_ending = true;
    }
    m_wake.notify_one();
    m_writer.join();
}

void EventLog::write(const DateFields& when, const std::vector<std::string>& fields) {
    std::string line = eventLine(when, fields);
    {
        std::lock_guard lock(m_mutex);
        if (m_waiting.size() >= kMaxWaitingLines)
            return;
        m_waiting.push_back(std::move(line));
    }
    m_wake.notify_one();
}

void EventLog::run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_ending || !m_waiting.empty(); });
        if (m_waiting.empty())
            return;
        const std::string line = std::move(m_waiting.front());
        m_waiting.pop_front();
        lock.unlock();
        if (append(line) && m_written)
            m_written();
        lock.lock();
    }
}

bool EventLog::append(const std::string& line) const {
    struct stat status {};
    int descriptor = openLog(m_path, status);
    if (descriptor < 0)
        return false;
    if (status.st_size > 0 &&
        static_cast<std::uintmax_t>(status.st_size) + line.size() > kRotationBytes) {
        ::close(descriptor);
        if (::rename(m_path.c_str(), (m_path + ".1").c_str()) != 0)
            return false;
        descriptor = openLog(m_path, status);
        if (descriptor < 0)
            return false;
    }
    const bool written = writeWhole(descriptor, line, status.st_size);
    // On the disk before the next line: after a power cut the log tells what happened up to the
    // cut, where the system's write-back would have left its last half minute as zero bytes.
    if (written)
        ::fdatasync(descriptor);
    ::close(descriptor);
    return written;
}
