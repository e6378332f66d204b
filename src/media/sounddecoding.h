#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// A sound ready for an output buffer: the sample bytes and the format they are in. A WAV file
// keeps the format its "fmt " chunk gives, unchecked; a decoded Ogg Vorbis or FLAC stream is
// interleaved signed 16-bit little-endian PCM (format tag 1).
struct PcmSound {
    int formatTag = 0;
    int channels = 0;
    int samplesPerSecond = 0;
    int bytesPerSecond = 0;
    int blockAlign = 0;
    int bitsPerSample = 0;
    std::vector<std::uint8_t> samples;
};

// Bounds the memory of one decoded sound (about six minutes of 44.1 kHz stereo); the rest of a
// longer stream is dropped.
inline constexpr std::size_t kMaxDecodedBytes = 64'000'000;

// The sound in a file's bytes: a RIFF WAVE whose first chunk is "fmt ", else the first of the
// Ogg Vorbis and FLAC decoders that recognises the data. Any other RIFF file (an AVI, a WAV
// with a "LIST" chunk first) is refused without offering it to the decoders, so it can go to
// the movie player. Malformed data of any kind give no sound or a shorter one.
std::optional<PcmSound> decodeSound(std::span<const std::uint8_t> bytes);

// Far above any alert sound (ten minutes of uncompressed 48 kHz stereo are 115 MB); a larger
// file is no sound, so reading it cannot exhaust the memory.
inline constexpr std::size_t kMaxSoundFileBytes = 128 * 1024 * 1024;

// The whole file read and decoded; no sound when it is not a readable regular file of at most
// kMaxSoundFileBytes.
std::optional<PcmSound> loadSoundFile(const std::string& path);
