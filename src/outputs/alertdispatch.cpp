#include "outputs/alertdispatch.h"

#include <utility>

AlertDispatch::AlertDispatch(std::vector<AlertChannelChoice> channels, int spacingSeconds,
                             std::string profile, AlertDispatchServices services)
    : m_spacingMs(std::int64_t{spacingSeconds} * 1000),
      m_profile(std::move(profile)),
      m_services(std::move(services)) {
    for (AlertChannelChoice& choice : channels)
        m_channels.push_back({std::move(choice)});
}

bool AlertDispatch::takesTrigger(ChannelState& state, std::int64_t nowMs) {
    if (state.sentTrigger && nowMs - state.lastTriggerMs < m_spacingMs) {
        ++state.heldBack;
        return false;
    }
    state.sentTrigger = true;
    state.lastTriggerMs = nowMs;
    return true;
}

void AlertDispatch::onWatchEvent(const WatchEvent& event) {
    const bool trigger = event.kind == WatchEvent::Kind::Trigger;
    const std::int64_t nowMs = m_services.steadyMs();
    std::string picture;
    bool pictureTaken = false;
    for (ChannelState& state : m_channels) {
        if (!state.choice.sends.contains(event.kind))
            continue;
        if (trigger && !takesTrigger(state, nowMs))
            continue;
        if (trigger && !pictureTaken) {
            picture = m_services.picture();
            pictureTaken = true;
        }
        AlertMessage message;
        message.channel = state.choice.channel;
        message.createdMs = m_services.wallMs();
        message.event = event;
        message.furtherTriggers = trigger ? std::exchange(state.heldBack, 0) : 0;
        message.picture = picture;
        message.profile = m_profile;
        m_services.enqueue(std::move(message));
    }
}
