#include "settings/runmarker.h"

#include <cstdio>
#include <sstream>
#include <utility>

#include "settings/wholefile.h"

namespace {

constexpr char kRunning[] = "laeuft";
constexpr char kEnded[] = "beendet";
constexpr std::size_t kMaxMarkerBytes = 4096;

}  // namespace

std::string currentBootId() {
    const std::optional<std::string> text =
        readSmallFile("/proc/sys/kernel/random/boot_id", kMaxMarkerBytes);
    if (!text)
        return {};
    return text->substr(0, text->find_first_of("\r\n"));
}

RunMarker::RunMarker(std::string settingsFolder, std::string bootId)
    : m_path(std::move(settingsFolder) + "Sentello.lauf"), m_bootId(std::move(bootId)) {
    if (const std::optional<std::string> text = readSmallFile(m_path, kMaxMarkerBytes)) {
        std::istringstream lines(*text);
        std::string bootId;
        std::string state;
        std::getline(lines, bootId);
        std::getline(lines, state);
        // Anything but the clean end's word is a run that did not get there, also a marker
        // that a power cut left half written by another program.
        m_lastRun.endedAbnormally = state != kEnded;
        m_lastRun.machineRestarted = !bootId.empty() && !m_bootId.empty() && bootId != m_bootId;
    }
    write(true);
}

RunMarker::~RunMarker() {
    write(false);
}

void RunMarker::write(bool running) const {
    const std::string text = m_bootId + "\n" + (running ? kRunning : kEnded) + "\n";
    if (const std::optional<std::string> failure = writeWholeFile(m_path, text, 0600))
        std::fprintf(stderr, "sentello: %s: %s\n", m_path.c_str(), failure->c_str());
}
