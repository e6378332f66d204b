#pragma once

#include <string>

#include "outputs/audiooutput.h"
#include "outputs/moduleplayer.h"
#include "outputs/movieplayer.h"
#include "outputs/soundplayer.h"

// Which player took an alert file.
enum class AlertPlayer { None, Sound, Movie, Module };

// The alert file of a trigger, offered to the sound, the movie and the module player in this
// order; the first that takes it plays it in its slot 0. Calls come from one thread (the GUI's).
class AlertPlayback {
public:
    explicit AlertPlayback(const std::string& audioSinkDescription = kDefaultAudioSink);

    // Reads the file anew on every call. Failures are silent: a file no player takes plays
    // nothing, and the trigger goes on whatever comes back.
    AlertPlayer playAlertFile(const std::string& path);

    // The movie player, whose other slots serve other uses.
    MoviePlayer& movies() { return m_movies; }

private:
    SoundPlayer m_sounds;
    MoviePlayer m_movies;
    ModulePlayer m_modules;
};
