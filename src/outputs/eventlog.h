#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "detection/datetemplate.h"
#include "outputs/watchevent.h"

// One line of the log: the local time as "yyyy-mm-dd hh:ii:ss", then the fields, all
// tab-separated, ended by a line feed. Tabs and line breaks inside a field become spaces and
// bytes that are no UTF-8 become "?", so that every line reads as one.
std::string eventLine(const DateFields& when, const std::vector<std::string>& fields);

// The fields of the log's line for an event, after its time; none for a kind that the log
// leaves out (the recording mode switched).
std::vector<std::string> eventLogFields(const WatchEvent& event);

// Where the log of a settings file is kept: "Sentello.log" beside it.
std::string eventLogPath(const std::string& settingsFile);

// The newest `count` lines of the log at `path` and the generation before it, newest first,
// without their line feeds. Only plain files are read, and of each only its last megabytes.
std::vector<std::string> recentEvents(const std::string& path, std::size_t count);

// The record of the watch, for whoever comes back to it: one line per event appended to a
// file that only the user may read. At 1 MB the file becomes "<file>.1", the one before that
// goes. The lines are written on a thread of their own, each synced to the disk before the
// next, so a slow or full disk never holds up the caller: a line that cannot be written is
// dropped, as is one beyond a long backlog. A name that stands for something other than a
// plain file (a link, a folder, a pipe) takes nothing. Whoever shows the log hears of each line
// that went into the file (`written`, called on the log's own thread).
class EventLog {
public:
    static constexpr std::uintmax_t kRotationBytes = 1 << 20;
    static constexpr std::size_t kMaxWaitingLines = 1000;

    explicit EventLog(std::string path, std::function<void()> written = {});
    // Writes what is waiting, then ends.
    ~EventLog();

    EventLog(const EventLog&) = delete;
    EventLog& operator=(const EventLog&) = delete;

    void write(const DateFields& when, const std::vector<std::string>& fields);

    const std::string& path() const { return m_path; }

private:
    void run();
    // True when the whole line went into the file.
    bool append(const std::string& line) const;

    const std::string m_path;
    const std::function<void()> m_written;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::string> m_waiting;
    bool m_ending = false;
    std::thread m_writer;
};
