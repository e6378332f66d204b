#pragma once

#include <string>

// What a watch started with "--watch" takes up again: the camera it watched and whether the
// recording mode was on. Kept in the group "Erweitert" apart from the options there, so that
// only a program that needs them (started with "--watch", or with "autostart" on) ever writes
// them, and a file of a user who never does stays as it was.
struct WatchState {
    std::string camera;     // "kamera": the source as storedSourceText names it; empty: none
    bool watching = false;  // "ueberwachung": the recording mode
    bool operator==(const WatchState&) const = default;
};

// A missing group or key gives the defaults.
WatchState loadWatchState(const std::string& settingsFile);
// Writes both keys and waits until they are on the disk, so that a power cut right after a
// change of the recording mode still finds it.
void saveWatchState(const WatchState& state, const std::string& settingsFile);
