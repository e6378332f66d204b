#pragma once

#include <QImage>

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "outputs/audiooutput.h"

// Media files that GStreamer renders (MP3, MPEG, AVI and the like) in numbered slots, each in
// a playbin of its own. The sound is heard; the pictures go to the output given to play, or
// nowhere. Calls come from one thread (the GUI's); playing never waits for the movie.
class MoviePlayer {
public:
    // Gets every picture at the moment it is due, on a streaming thread of GStreamer.
    using PictureOutput = std::function<void(const QImage& picture)>;

    explicit MoviePlayer(std::string audioSinkDescription = kDefaultAudioSink);
    // Stops and releases every movie.
    ~MoviePlayer();

    MoviePlayer(const MoviePlayer&) = delete;
    MoviePlayer& operator=(const MoviePlayer&) = delete;

    // The slot's old movie is stopped and released first, whatever comes of the load. True when
    // GStreamer renders the file up to its first picture or sound; otherwise the slot stays
    // empty.
    bool load(int slot, const std::string& path);
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

    std::string m_audioSinkDescription;
    std::map<int, std::unique_ptr<Movie>> m_slots;
};
