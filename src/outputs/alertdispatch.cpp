#include "outputs/alertdispatch.h"

#include <utility>

std::set<WatchEvent::Kind> alertKindsOf(std::string_view words) {
    using Kind = WatchEvent::Kind;
    static const std::pair<std::string_view, std::set<Kind>> kWords[] = {
        {kEventTrigger, {Kind::Trigger}},
        {kEventClip, {Kind::ClipFinished, Kind::ClipFailed}},
        {kEventCamera, {Kind::CameraLost, Kind::CameraBack}},
        {kEventWatch, {Kind::WatchSwitched, Kind::WatchResumed}},
        {kEventProgram, {Kind::ProgramStart, Kind::ProgramEnd}},
        {kEventUpload, {Kind::UploadFailed}},
    };
    std::set<Kind> kinds;
    while (!words.empty()) {
        const std::size_t comma = words.find(',');
        std::string_view word = words.substr(0, comma);
        words.remove_prefix(comma == std::string_view::npos ? words.size() : comma + 1);
        while (!word.empty() && word.front() == ' ')
            word.remove_prefix(1);
        while (!word.empty() && word.back() == ' ')
            word.remove_suffix(1);
        for (const auto& [name, named] : kWords)
            if (word == name)
                kinds.insert(named.begin(), named.end());
    }
    return kinds;
}

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
        const bool chosen = state.choice.sends.contains(event.kind);
        const bool stateOnly = !chosen && state.choice.keepsState.contains(event.kind);
        if (!chosen && !stateOnly)
            continue;
        if (trigger && state.choice.spaced && !takesTrigger(state, nowMs))
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
        message.stateOnly = stateOnly;
        m_services.enqueue(std::move(message));
    }
}
