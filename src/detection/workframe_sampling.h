#pragma once

// Shared by the variants of makeWorkFrame: where each working pixel is sampled from.

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "detection/sampledyuv.h"
#include "detection/workframe.h"
#include "detection/yuvconversion.h"

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

// The rows the working pixels are read from, a row at a time: a BGRx picture's own rows at the
// sampled columns, an RGB picture's rows put in BGRx order whole, and for an I420 picture a
// row of just its sampled points, converted as videoconvert would convert them and already in
// working order, so the same steps follow for all. Its members are defined apart from the
// variants, so none of them is built for AVX2; the AVX2 variant has the points converted by
// convertSampledRowAvx2 (but for pictures too narrow for its gathers) and RGB rows by
// convertRgbRowAvx2, the portable one by the tables and byte by byte.
enum class PointConversion { Portable, Avx2 };

class WorkRowSource {
public:
    WorkRowSource(const FrameView& picture, bool mirror, PointConversion conversion);
    // Blue, green, red, unused; working pixel x is pixel columns()[x] of the row.
    const std::uint8_t* row(int workRow);
    const std::array<std::int32_t, kWorkWidth>& columns() const { return m_columns; }
    int rowWidth() const { return m_converting ? kWorkWidth : m_picture.width; }

private:
    const FrameView& m_picture;
    const PointConversion m_conversion;
    const bool m_converting;
    std::array<std::int32_t, kWorkWidth> m_columns;
    std::array<std::int32_t, kWorkWidth> m_sampledColumns;
    std::optional<SampledYuvPlan> m_avx2Plan;
    // The chroma terms (blue, green, red) of each working column for chroma row m_chromaRow:
    // neighbouring working rows mostly share a chroma row.
    int m_chromaRow = -1;
    std::array<std::int16_t, kWorkWidth * 3> m_chromaTerms;
    // Whole pixels, as byte stores could alias anything and keep the loop from being tight.
    alignas(32) std::array<std::uint32_t, kWorkWidth> m_converted;
    std::vector<std::uint8_t> m_rgbRow;
};

inline std::uint8_t roundedAverage(std::uint8_t a, std::uint8_t b) {
    return static_cast<std::uint8_t>((a + b + 1) >> 1);
}

// Working rows are top-down, block rows bottom-up.
inline int blockRowOfBand(int band) {
    return kBlockRows - 1 - band;
}
