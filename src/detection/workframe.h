#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "detection/frameview.h"

inline constexpr int kWorkWidth = 640;
inline constexpr int kWorkHeight = 480;
inline constexpr int kBytesPerPixel = 4;
inline constexpr int kBlockSize = 16;
inline constexpr int kBlockColumns = kWorkWidth / kBlockSize;   // 40
inline constexpr int kBlockRows = kWorkHeight / kBlockSize;     // 30
inline constexpr int kBlockCount = kBlockColumns * kBlockRows;  // 1200

// Average blue, green and red of one block.
struct BlockColour {
    int blue = 0;
    int green = 0;
    int red = 0;
    bool operator==(const BlockColour&) const = default;
};

// Indexed by blockIndex(c, r); block row 0 is the bottom band of the picture.
using BlockGrid = std::array<BlockColour, kBlockCount>;

constexpr int blockIndex(int column, int row) {
    return row * kBlockColumns + column;
}

// The result of one pass over a camera picture: the half-size copy of the 640 x 480 working
// frame for the live picture, and the block averages (block rows counted from the bottom). The
// working frame itself is made a row at a time and never kept whole: its last two rows are all
// the half-size copy needs, and they stay in the cache. Buffers are reused from run to run.
struct WorkFrame {
    std::vector<std::uint8_t> rows = std::vector<std::uint8_t>(2 * kWorkWidth * 4);
    std::vector<std::uint8_t> halfSize =
        std::vector<std::uint8_t>(kWorkWidth / 2 * kWorkHeight / 2 * 4);
    BlockGrid averages{};
    int bytesPerPixel = 0;
};

// Mirrors (when asked), stretches the picture to 640 x 480 by nearest-neighbour sampling, adds
// brightness - 128 to every colour byte with clamping, and fills the half-size copy (each pixel
// the rounded average of a 2 x 2 square) and the block averages (sum / 256, remainder dropped).
// An I420 picture gives exactly the result of the BGRx picture videoconvert makes of it, though
// only the sampled points are converted. Picks the fastest variant the processor supports; all
// variants give identical results.
void makeWorkFrame(const FrameView& picture, bool mirror, int brightness, WorkFrame& out);

// The variants behind makeWorkFrame, open to tests and benchmarks.
void makeWorkFramePortable(const FrameView& picture, bool mirror, int brightness, WorkFrame& out);
void makeWorkFrameAvx2(const FrameView& picture, bool mirror, int brightness, WorkFrame& out);
bool cpuHasAvx2();
