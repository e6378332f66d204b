#pragma once

#include <string>

// How the run before this one on the same settings ended.
struct LastRun {
    // It never reached its end: a crash, a kill, a power cut, a machine switched off.
    bool endedAbnormally = false;
    // The machine was started anew since.
    bool machineRestarted = false;
};

// The number that the kernel makes anew at every boot (/proc/sys/kernel/random/boot_id);
// empty where there is none.
std::string currentBootId();

// "Sentello.lauf" beside the lock in the settings folder: the boot it was written in, and
// whether its run is still going. Made when the run begins, and told at the run's clean end
// (the object's end), so that the next start knows whether the run before it ended abnormally
// and whether the machine restarted since. Only the holder of the folder's lock may make one.
// Written whole and synced, so a power cut leaves the old marker or the new one.
class RunMarker {
public:
    RunMarker(std::string settingsFolder, std::string bootId);
    // The run's clean end.
    ~RunMarker();
    RunMarker(const RunMarker&) = delete;
    RunMarker& operator=(const RunMarker&) = delete;

    // What the marker found when this run began; nothing on a first run, or where the marker
    // could not be read.
    const LastRun& lastRun() const { return m_lastRun; }

private:
    void write(bool running) const;

    const std::string m_path;
    const std::string m_bootId;
    LastRun m_lastRun;
};
