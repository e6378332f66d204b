#pragma once

#include <functional>
#include <map>
#include <string>

#include "outputs/alertmessage.h"

// The copies of clips off the premises as messages of the channel CopyClip: each part of a
// clip still being written as it comes, and the whole clip when it is finished, which then
// replaces the parts on the server. A clip's parts and the clip itself go into the folder of
// the day on which the clip began, even when it ends after midnight. On the main thread.
class ClipCopies {
public:
    struct Services {
        // Hands a message to the outbox.
        std::function<void(AlertMessage)> enqueue;
        // The local time now, for a clip whose beginning was not seen.
        std::function<DateFields()> localNow;
        std::string profile;
    };

    explicit ClipCopies(Services services);

    // Notes when each clip began; a clip finished is copied whole.
    void onWatchEvent(const WatchEvent& event);
    // The part `index` (1, 2, …) of the clip `clipName` (its path or file name), written
    // into `partFile`.
    void copyClipPart(const std::string& clipName, int index, const std::string& partFile);
    // The whole clip, which replaces its parts on the server.
    void copyClip(const std::string& clipPath);

private:
    DateFields beganAt(const std::string& clipName) const;

    Services m_services;
    // The clips under way by file name, and when each began.
    std::map<std::string, DateFields> m_began;
};
