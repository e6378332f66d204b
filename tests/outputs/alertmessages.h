#pragma once

#include <string>

#include "outputs/alertmessage.h"

// Messages of the remote alarm as the outbox hands them to a channel.

// 10.12.2026 05:55:13 in Berlin.
inline constexpr std::int64_t kDecemberMs = 1796878513000;

inline AlertMessage triggerMessage(const std::string& picture) {
    AlertMessage message;
    message.id = "4f9c2e1a-77b0-4d2e-9a51-0c3e5d6f7a8b";
    message.createdMs = kDecemberMs;
    message.event.kind = WatchEvent::Kind::Trigger;
    message.event.when = {2026, 12, 10, 5, 55, 13};
    message.event.changePercent = 37.4f;
    message.event.effect = WatchEvent::Effect::ClipStarted;
    message.event.clipPath = "/home/wache/video-20261210-055513.avi";
    message.furtherTriggers = 4;
    message.picture = picture;
    message.profile = "Garage Süd";
    return message;
}

inline AlertMessage clipMessage(const std::string& clipPath) {
    AlertMessage message;
    message.id = "clip-7";
    message.createdMs = kDecemberMs + 30000;
    message.event.kind = WatchEvent::Kind::ClipFinished;
    message.event.when = {2026, 12, 10, 5, 55, 43};
    message.event.clipPath = clipPath;
    return message;
}
