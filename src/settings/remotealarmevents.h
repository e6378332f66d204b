#pragma once

#include <string>

// Which events each channel of the remote alarm sends has a group of its own, written only once
// the user has chosen otherwise than the default: a file of a user who never did stays as it
// was, and the group "Fernalarm" keeps exactly its keys.
inline constexpr char kRemoteAlarmEventsGroup[] = "Fernalarmereignisse";

// The events' words, as a channel's key lists them, separated by commas.
inline constexpr char kEventTrigger[] = "ausloesung";  // a trigger, with its picture
inline constexpr char kEventClip[] = "video";          // a clip finished or failed
inline constexpr char kEventCamera[] = "kamera";       // the camera lost and back
inline constexpr char kEventWatch[] = "wache";         // the watch switched on and off, and resumed
inline constexpr char kEventProgram[] = "programm";    // the program's start and end
inline constexpr char kEventUpload[] = "upload";       // an upload that failed

inline constexpr char kDefaultAlertEvents[] = "ausloesung,video,kamera";

// The words as the file holds them; a word the program does not know is passed over when read.
struct RemoteAlarmEvents {
    std::string mail = kDefaultAlertEvents;  // "mail"
    std::string push = kDefaultAlertEvents;  // "push"
    std::string mqtt = kDefaultAlertEvents;  // "mqtt"

    bool operator==(const RemoteAlarmEvents&) const = default;
};

// A missing group gives the defaults and leaves the file as it is.
RemoteAlarmEvents loadRemoteAlarmEvents(const std::string& settingsFile);
// Writes the group when the choice differs from the default or the group is there already, so
// that confirming the default keeps the file as it was.
void saveRemoteAlarmEvents(const RemoteAlarmEvents& events, const std::string& settingsFile);
