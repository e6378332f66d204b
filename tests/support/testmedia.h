#pragma once

// Media files for the player tests, written byte by byte.

#include <cstdint>
#include <filesystem>
#include <string_view>
#include <vector>

#include "pulseharness.h"

namespace testmedia {

using pulseharness::Bytes;

void appendLe(Bytes& bytes, std::uint32_t value, int count);
void appendBe16(Bytes& bytes, int value);
void append(Bytes& bytes, std::string_view text);
// A RIFF chunk: tag, little-endian length, content.
Bytes chunk(std::string_view tag, const Bytes& content);

// A RIFF WAVE at the harness's rate; with `listFirst` a "LIST" chunk comes before the format.
Bytes wav(int formatTag, int channels, int bits, const Bytes& samples, bool listFirst = false);

// ProTracker modules: 4 channels, one pattern of 64 rows, samples of 64 bytes.
inline constexpr int kRows = 64;
inline constexpr int kModChannels = 4;
inline constexpr int kSampleBytes = 64;
// The period of C-2 in Amiga terms: the sample at its own rate.
inline constexpr int kPeriodC2 = 428;

struct Note {
    int row;
    int sample;  // 1-based
};

// Each sample is a looped constant level, so the sign of what plays tells the samples apart;
// the notes go to the first channel and the song ends after `lastRow`.
Bytes mod(const std::vector<std::int8_t>& levels, const std::vector<Note>& notes, int lastRow);

// A FLAC of silence (16-bit stereo at 44,100 Hz) of `bytes` decoded bytes, made with the flac
// tool; silence compresses to almost nothing, so even a long one is small and made quickly.
// False when the tool failed or is missing.
bool writeSilentFlac(const std::filesystem::path& path, std::uint64_t bytes);

}  // namespace testmedia
