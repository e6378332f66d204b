#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "outputs/alertmessage.h"
#include "outputs/watchevent.h"
#include "settings/remotealarmevents.h"

// The kinds of event a channel's words name ("ausloesung,video,kamera"); a word this program
// does not know is passed over, so that a file of a later version still reads.
std::set<WatchEvent::Kind> alertKindsOf(std::string_view words);

// A channel of the remote alarm and the kinds of event it sends.
struct AlertChannelChoice {
    AlertChannel channel = AlertChannel::Mail;
    std::set<WatchEvent::Kind> sends = defaultAlertKinds();
    // The kinds whose state the channel keeps whether it sends them or not (MQTT's motion and
    // camera): for these it gets a message that only sets the state.
    std::set<WatchEvent::Kind> keepsState{};
    // Whether its trigger messages keep the spacing; the copy of each trigger's picture does
    // not.
    bool spaced = true;

    // What a channel sends unless the user chose otherwise: a trigger, a clip, the camera.
    static std::set<WatchEvent::Kind> defaultAlertKinds() {
        return alertKindsOf(kDefaultAlertEvents);
    }
};

// What the dispatch needs of the world.
struct AlertDispatchServices {
    // The captioned JPEG of the picture now; empty when the camera has none.
    std::function<std::string()> picture;
    // Milliseconds of a clock that never goes back, for the spacing of trigger messages.
    std::function<std::int64_t()> steadyMs;
    // Milliseconds since 1970, UTC: when the event happened.
    std::function<std::int64_t()> wallMs;
    // Hands a message to the outbox, which gives it its id.
    std::function<void(AlertMessage)> enqueue;
};

// Turns the watch's events into the messages of each chosen channel: one message per channel
// and event it sends, a trigger's with the picture of the moment (taken once for all of them).
// A channel sends at most one trigger message every `spacingSeconds`; the triggers in between
// are counted into its next trigger message, so that a person moving through the room for a
// minute makes two messages, not a hundred.
class AlertDispatch {
public:
    AlertDispatch(std::vector<AlertChannelChoice> channels, int spacingSeconds, std::string profile,
                  AlertDispatchServices services);

    // On the main thread, as the stream of events delivers them.
    void onWatchEvent(const WatchEvent& event);

private:
    struct ChannelState {
        AlertChannelChoice choice;
        // When its last trigger message went; none before the first.
        std::int64_t lastTriggerMs = 0;
        bool sentTrigger = false;
        int heldBack = 0;
    };
    // Whether the channel sends this trigger now; counts it as held back otherwise.
    bool takesTrigger(ChannelState& state, std::int64_t nowMs);

    std::vector<ChannelState> m_channels;
    std::int64_t m_spacingMs;
    std::string m_profile;
    AlertDispatchServices m_services;
};
