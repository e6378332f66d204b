#pragma once

#include <string>
#include <vector>

// The day's periods, each with its own detection values.
inline constexpr int kSlotCount = 4;

// The group of the classic keys.
inline constexpr char kOptionsGroup[] = "Optionen";

// The general options of the group "Optionen": read once at start-up, written once at
// shutdown. Check boxes and spin boxes hold their gadget's state, which the gadget keeps
// within its range; texts are the bytes the file holds, which need not be UTF-8, and the
// credentials unscrambled.
struct GeneralSettings {
    int mirror = 1;                                                          // "hspiegeln"
    std::vector<std::string> slotTimes{"06:00", "11:00", "18:00", "22:00"};  // "uhrzeit1".."4"
    int beep = 0;                                                            // "hinweiston"
    int sound = 0;                                                           // "sound"
    int audioInfo = 0;                                                       // "audioinfos"
    std::string soundFile;                                                   // "sounddatei"
    int clipLength = 5;                                                      // "videolaenge"
    int wait = 3;                                                            // "warten"
    int ownPlayer = 0;                                                       // "eplayer"
    int countOnly = 0;                                                       // "novideo"
    int upload = 0;                                                          // "upload"
    std::string server;                                                      // "server"
    std::string user;                                                        // "user"
    std::string password;                                                    // "pass"
    std::string pictureName;                                                 // "picname"
    int pictureTool = 0;                                                     // "toolbild"
    int videoTool = 0;                                                       // "toolvideo"
    std::string pictureToolCommand;                                          // "editbild"
    std::string videoToolCommand;                                            // "editvideo"
    bool operator==(const GeneralSettings&) const = default;
};

// The three detection values of one slot ("helligkeit0", "empfindlichkeit0", "ausloeser0", ...).
struct SlotValues {
    int brightness = 128;
    int sensitivity = 50;
    int trigger = 25;
    bool operator==(const SlotValues&) const = default;
};

GeneralSettings readGeneralSettings(const std::string& settingsFile);
// Writes every general key, making the file when missing.
void writeGeneralSettings(const GeneralSettings& settings, const std::string& settingsFile);

SlotValues readSlotValues(int slot, const std::string& settingsFile);
// Handed to the SettingsWriter without waiting for the disk: a slider dragged writes at every
// step, and the disk's time is not the detection's.
void writeSlotValues(int slot, const SlotValues& values, const std::string& settingsFile);
// The same values for every slot, in slot order.
void writeEverySlot(const SlotValues& values, const std::string& settingsFile);
