#pragma once

// Shared by the variants of makeWorkFrame: where each working pixel is sampled from.

#include <array>
#include <cstdint>

#include "detection/workframe.h"

// Source pixel column for each working column; mirroring is folded in here because nothing
// else reads the mirrored picture.
inline std::array<std::int32_t, kWorkWidth> sourceColumns(int sourceWidth, bool mirror) {
    std::array<std::int32_t, kWorkWidth> columns{};
    for (int x = 0; x < kWorkWidth; ++x) {
        const int sampled = static_cast<int>(std::int64_t{x} * sourceWidth / kWorkWidth);
        columns[x] = mirror ? sourceWidth - 1 - sampled : sampled;
    }
    return columns;
}

inline const std::uint8_t* sourceRow(const FrameView& picture, int workRow) {
    const int row = static_cast<int>(std::int64_t{workRow} * picture.height / kWorkHeight);
    return picture.pixels + static_cast<std::ptrdiff_t>(row) * picture.stride;
}

inline std::uint8_t roundedAverage(std::uint8_t a, std::uint8_t b) {
    return static_cast<std::uint8_t>((a + b + 1) >> 1);
}

// Working rows are top-down, block rows bottom-up.
inline int blockRowOfBand(int band) {
    return kBlockRows - 1 - band;
}
