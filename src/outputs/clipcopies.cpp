#include "outputs/clipcopies.h"

#include <filesystem>

namespace {

std::string fileName(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

}  // namespace

ClipCopies::ClipCopies(Services services) : m_services(std::move(services)) {}

void ClipCopies::onWatchEvent(const WatchEvent& event) {
    switch (event.kind) {
        case WatchEvent::Kind::Trigger:
            if (event.effect == WatchEvent::Effect::ClipStarted && !event.clipPath.empty())
                m_began[fileName(event.clipPath)] = event.when;
            return;
        case WatchEvent::Kind::ClipFinished:
            if (!event.clipPath.empty())
                copyClip(event.clipPath);
            return;
        case WatchEvent::Kind::ClipFailed:
            m_began.erase(fileName(event.clipPath));
            return;
        default:
            return;
    }
}

DateFields ClipCopies::beganAt(const std::string& clipName) const {
    const auto began = m_began.find(fileName(clipName));
    return began != m_began.end() ? began->second : m_services.localNow();
}

void ClipCopies::copyClipPart(const std::string& clipName, int index, const std::string& partFile) {
    if (index < 1)
        return;
    AlertMessage message;
    message.channel = AlertChannel::CopyClip;
    message.profile = m_services.profile;
    message.event = {.kind = WatchEvent::Kind::ClipFinished,
                     .when = beganAt(clipName),
                     .count = index,
                     .clipPath = partFile,
                     .remoteName = fileName(clipName)};
    m_services.enqueue(std::move(message));
}

void ClipCopies::copyClip(const std::string& clipPath) {
    AlertMessage message;
    message.channel = AlertChannel::CopyClip;
    message.profile = m_services.profile;
    message.event = {
        .kind = WatchEvent::Kind::ClipFinished, .when = beganAt(clipPath), .clipPath = clipPath};
    m_began.erase(fileName(clipPath));
    m_services.enqueue(std::move(message));
}
