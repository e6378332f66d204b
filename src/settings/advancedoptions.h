#pragma once

#include <string>

// The options beyond the classic ones live in a group of their own, which is written only once
// the user has chosen something there: a file of a user who never did keeps its classic keys
// and nothing else.
inline constexpr char kAdvancedGroup[] = "Erweitert";

inline constexpr int kMaxPreTriggerSeconds = 10;
inline constexpr int kMaxCameraAlarmSeconds = 300;
inline constexpr int kMaxStorageLimitMb = 1'000'000;
inline constexpr int kMinBackgroundSeconds = 1;
inline constexpr int kMaxBackgroundSeconds = 120;

struct AdvancedOptions {
    int preTriggerSeconds = 0;         // "vorlauf": footage from before the trigger, 0..10 s
    bool lightCompensation = false;    // "lichtausgleich": changes of the whole light never count
    std::string mask;                  // "maske": the ignored blocks as hexadecimal digits
    int cameraAlarmSeconds = 0;        // "kameraalarm": 0 = off, else 1..300 s without a picture
    int storageLimitMb = 0;            // "speichergrenze": 0 = none, else the clips' total in MB
    bool desktopNotification = false;  // "benachrichtigung": a trigger tells the desktop
    bool backgroundReference = false;  // "referenz": 0 = the previous run, 1 = a background
    int backgroundSeconds = 10;        // "referenzzeit": the background's time constant, 1..120 s
    bool autostart = false;            // "autostart": the watch starts at the user's login
    bool operator==(const AdvancedOptions&) const = default;
};

// Values outside their ranges are taken at the nearest end; a missing group gives the defaults.
AdvancedOptions loadAdvancedOptions(const std::string& settingsFile);
// Writes all its keys into the group, making it when missing.
void saveAdvancedOptions(const AdvancedOptions& options, const std::string& settingsFile);
