#pragma once

#include <memory>
#include <string>

#include "media/sounddecoding.h"

// The system's audio output as GStreamer picks it.
inline constexpr const char* kDefaultAudioSink = "autoaudiosink";

// One sound in a GStreamer pipeline of its own to the audio output, at full volume and the
// sound's own rate, so sounds of different players play side by side.
class AudioOutput {
public:
    // No output when the sound's format is one the output cannot take or when the audio
    // output does not open. `sinkDescription` is a gst-launch description of the sink.
    static std::unique_ptr<AudioOutput> create(PcmSound sound, const std::string& sinkDescription);

    AudioOutput(const AudioOutput&) = delete;
    AudioOutput& operator=(const AudioOutput&) = delete;
    // Stops the sound; no streaming thread is left running.
    ~AudioOutput();

    // Plays the sound once from its start; a sound that still plays is cut off first, so it
    // never overlaps itself. Returns while the sound plays.
    bool play();

private:
    struct Stream;

    explicit AudioOutput(std::unique_ptr<Stream> stream);

    std::unique_ptr<Stream> m_stream;
};
