#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>

// Writes whole settings texts to disk on a thread of its own, so that a slider dragged over a
// slow disk never holds up the detection. Of the texts handed over for one file only the
// newest is written; until it is, readers of that file get it from here. Each text replaces
// the file as a whole (writeWholeFile), so a crash leaves the old file or the new one, never
// half of one.
class SettingsWriter {
public:
    // The one writer of the process: every settings file goes through it, so two writes of the
    // same file can never overtake each other.
    static SettingsWriter& instance();

    SettingsWriter(const SettingsWriter&) = delete;
    SettingsWriter& operator=(const SettingsWriter&) = delete;
    // Writes what is still waiting before it ends.
    ~SettingsWriter();

    // `path` is the file itself (links already followed); `mode` the permissions of a new file.
    void write(const std::string& path, std::string text, mode_t mode);
    // Returns once the newest text of `path` is written or given up.
    void waitUntilWritten(const std::string& path);
    // The text waiting to be written to `path`, if any.
    std::optional<std::string> pendingText(const std::string& path) const;

    // Who hears of a write that failed (the settings file's path, the reason), on whichever
    // thread found it, besides the error output. Cleared with an empty one, which returns
    // only when no report is under way.
    void setFailureReport(std::function<void(const std::string&, const std::string&)> report);
    void reportFailure(const std::string& path, const std::string& reason);

private:
    SettingsWriter();
    void run();

    struct Pending {
        std::string text;
        mode_t mode = 0600;
    };

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::map<std::string, Pending> m_pending;
    // The path being written now, and its text.
    std::optional<std::pair<std::string, std::string>> m_writing;
    bool m_stopping = false;
    std::mutex m_reportMutex;
    std::function<void(const std::string&, const std::string&)> m_report;
    std::thread m_thread;
};
