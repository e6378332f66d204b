#pragma once

#include <map>
#include <memory>
#include <string>

#include "media/audiooutput.h"

// Sounds in numbered slots, each loaded whole into an output of its own and played once per
// play request. Calls come from one thread (the GUI's); playing never waits for the sound.
class SoundPlayer {
public:
    explicit SoundPlayer(std::string sinkDescription = kDefaultAudioSink);
    ~SoundPlayer();

    SoundPlayer(const SoundPlayer&) = delete;
    SoundPlayer& operator=(const SoundPlayer&) = delete;

    // True when the file is a sound the audio output plays. Only then does the new sound
    // replace the slot's old one (which stops if it still plays); otherwise the slot keeps
    // what it had.
    bool load(int slot, const std::string& path);
    // Starts the slot's sound from its beginning, cutting off its own earlier play. False for
    // an empty slot.
    bool play(int slot);

private:
    std::string m_sinkDescription;
    std::map<int, std::unique_ptr<AudioOutput>> m_slots;
};
