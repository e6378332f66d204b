#pragma once

#include <functional>
#include <string>

#include "media/audiooutput.h"
#include "media/moduleplayer.h"
#include "media/movieplayer.h"
#include "media/soundplayer.h"

// Which player took an alert file.
enum class AlertPlayer { None, Sound, Movie, Module };

// The alert file of a trigger, offered to the sound, the movie and the module player in this
// order; the first that takes it plays it in its slot 0. Calls come from the thread that runs
// GLib's main loop (the GUI's).
class AlertPlayback {
public:
    // Told which player took an alert file, once that is known.
    using AlertTaken = std::function<void(AlertPlayer player)>;

    explicit AlertPlayback(const std::string& audioSinkDescription = kDefaultAudioSink);

    // Reads the file anew on every call and returns at once: a file that is no sound is rendered
    // by the movie player in the background, and offered to the module player only when that
    // fails. Failures are silent: a file no player takes plays nothing. `taken` is told from
    // the main loop, or before this returns, unless the next alert replaces this one first.
    void playAlertFile(const std::string& path, AlertTaken taken = {});

    // The movie player, whose other slots serve other uses.
    MoviePlayer& movies() { return m_movies; }

private:
    SoundPlayer m_sounds;
    MoviePlayer m_movies;
    ModulePlayer m_modules;
};
