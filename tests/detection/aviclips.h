#pragma once

// Clips as the muxer writes them, made with gst-launch-1.0, and what players make of them
// (ffprobe, gst-launch-1.0): the AVI tests check files only as players see them.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace aviclips {

using Bytes = std::string;

struct ClipKind {
    const char* name;
    bool mpeg4;
    bool sound;
};

// Two seconds at 25 pictures a second, as the recorder writes them.
inline constexpr int kPictures = 50;

// 160 x 120, Motion-JPEG or MPEG-4 with a key picture every 12; with sound from live sources, as
// a camera and a microphone are, so that the muxer interleaves them. False when it failed.
bool makeClip(const std::filesystem::path& path, const ClipKind& kind, int pictures = kPictures);

Bytes readAll(const std::filesystem::path& path);
void writeAll(const std::filesystem::path& path, const Bytes& bytes);

// The clip's bytes as the muxer had written them before its end: the header's sizes and counts
// as at its start, no index.
Bytes unfinished(Bytes clip);

struct Chunk {
    std::size_t at;
    std::string id;
    std::size_t size;
    std::size_t end() const { return at + 8 + size + (size & 1); }
    bool picture() const { return id.substr(0, 2) == "00"; }
};

// The chunks of the movi list, up to the index or the last whole header.
std::vector<Chunk> chunksOf(const Bytes& clip);

struct Played {
    int headerPictures = -1;     // what the header says
    int ffmpegPictures = -1;     // what ffprobe decodes
    int gstreamerPictures = -1;  // what GStreamer decodes; -1 when it fails
    bool indexed = false;
};

Played play(const std::filesystem::path& path);

}  // namespace aviclips
