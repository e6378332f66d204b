#include "settings/settingswriter.h"

#include <cstdio>

#include "settings/wholefile.h"

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
            writeWholeFile(next.key(), next.mapped().text, next.mapped().mode);
        if (failure)
            reportFailure(next.key(), *failure);
        lock.lock();
        m_writing.reset();
        m_changed.notify_all();
    }
}
