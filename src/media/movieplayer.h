#pragma once

#include <QImage>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "media/audiooutput.h"

// Media files that GStreamer renders (MP3, MPEG, AVI and the like) in numbered slots, each in
// a playbin of its own. The sound is heard; the pictures go to the output given to play, or
// nowhere. Calls come from the thread that runs GLib's main loop (the GUI's); neither loading
// nor playing waits for the movie.
class MoviePlayer {
public:
    // Gets every picture at the moment it is due, on a streaming thread of GStreamer.
    using PictureOutput = std::function<void(const QImage& picture)>;
    // Told whether the slot now holds the movie.
    using LoadDone = std::function<void(bool loaded)>;

    // A load that has not ended by then fails: long enough for a big file on a busy machine.
    // (GStreamer may stall on a damaged file instead of failing.)
    static constexpr std::chrono::milliseconds kLoadLimit{10000};

    explicit MoviePlayer(std::string audioSinkDescription = kDefaultAudioSink,
                         std::chrono::milliseconds loadLimit = kLoadLimit);
    // Stops and releases every movie.
    ~MoviePlayer();

    MoviePlayer(const MoviePlayer&) = delete;
    MoviePlayer& operator=(const MoviePlayer&) = delete;

    // The slot's old movie, or its load still under way, is stopped and released first. The
    // file, a regular file only, is opened at once and rendered in the background; `done` is
    // told from GLib's main loop, or before load returns when the file cannot be opened, whether
    // GStreamer rendered it up to its first picture or sound within the load limit. A tracker
    // module is refused, so that it goes to the module player, which repeats it. The slot stays
    // empty until then, and after a failure. A load replaced by the next one into its slot, or
    // ended with the player, is never told.
    void load(int slot, const std::string& path, const LoadDone& done);
    // The picture's natural size in pixels: -1 when the file has no picture, 0 for an empty
    // slot.
    int pictureWidth(int slot) const;
    int pictureHeight(int slot) const;
    // Starts the slot's movie from its beginning, its pictures into `output`; it plays once
    // and stays at its end. False for an empty slot.
    bool play(int slot, PictureOutput output = {});
    // Halts the slot's movie; its output gets nothing more once this returns.
    void stop(int slot);

private:
    class Movie;

    void finishLoad(int slot, bool loaded, const LoadDone& done);

    std::string m_audioSinkDescription;
    std::chrono::milliseconds m_loadLimit;
    std::map<int, std::unique_ptr<Movie>> m_slots;
};
