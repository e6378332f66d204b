#pragma once

#include <map>
#include <memory>
#include <string>

#include "media/audiooutput.h"

// Tracker modules (MOD, XM and the other formats libmodplug reads) in numbered slots, each
// rendered into an output of its own. A playing module repeats without end until the next load
// into its slot or until the player goes. Calls come from one thread (the GUI's).
class ModulePlayer {
public:
    explicit ModulePlayer(std::string sinkDescription = kDefaultAudioSink);
    // Stops every module; no rendering or streaming thread is left running.
    ~ModulePlayer();

    ModulePlayer(const ModulePlayer&) = delete;
    ModulePlayer& operator=(const ModulePlayer&) = delete;

    // A file that cannot be read leaves the slot as it was. Otherwise the slot's old module is
    // stopped and released first, and the slot stays empty unless libmodplug takes the file and
    // the audio output opens.
    bool load(int slot, const std::string& path);
    // Starts the slot's module from its beginning, cutting off its own earlier play. False for
    // an empty slot or an output that does not start.
    bool play(int slot);

private:
    class Module;

    std::string m_sinkDescription;
    std::map<int, std::unique_ptr<Module>> m_slots;
};
