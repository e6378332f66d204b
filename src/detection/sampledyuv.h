#pragma once

// The AVX2 conversion of an I420 picture's sampled points: 32 working pixels at a time, with
// the same 16-bit arithmetic as videoconvert's fast path, so the same bytes as the tables.

#include <array>
#include <cstdint>
#include <vector>

#include "detection/workframe.h"
#include "detection/yuvconversion.h"

// Collects the bytes of a row at given positions, 16 at a time: a few 16-byte loads, each
// shuffled so that its bytes land where they belong and zeros elsewhere, ORed together. The
// positions of 16 neighbouring working pixels lie within a few loads for any camera a working
// frame is stretched from, where byte-by-byte loads would cost more than the conversion.
struct ByteGather {
    struct Load {
        int offset = 0;
        // Index into the 16 loaded bytes, or 0x80 for a zero byte.
        std::array<std::uint8_t, 16> shuffle{};
    };
    std::vector<Load> loads;
    // The loads of group g (working pixels 16 g to 16 g + 15) are loads[first[g]] up to
    // loads[first[g + 1]].
    std::array<int, kWorkWidth / 16 + 1> first{};
};

// Every load stays within the row's `rowBytes` bytes, which must be at least 16.
ByteGather planByteGather(const std::array<std::int32_t, kWorkWidth>& positions, int rowBytes);

struct SampledYuvPlan {
    ByteGather luma;
    ByteGather chroma;
    YuvCoefficients coefficients;
};

// The gathers need luma and chroma rows of at least 16 bytes.
inline constexpr int kSampledYuvMinimumWidth = 32;

SampledYuvPlan planSampledYuv(const std::array<std::int32_t, kWorkWidth>& columns, int width,
                              YuvColours colours);

// One working row of blue, green, red, 255 from a luma row and the chroma rows of its square.
void convertSampledRowAvx2(const SampledYuvPlan& plan, const std::uint8_t* luma,
                           const std::uint8_t* u, const std::uint8_t* v, std::uint32_t* out);
