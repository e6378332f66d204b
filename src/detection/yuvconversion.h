#pragma once

// Blue, green and red of I420 pictures exactly as GStreamer 1.22's videoconvert makes them for
// BGRx: its fast path takes each pixel's own luma and the chroma sample of its 2 x 2 square (no
// interpolation), and works in 16-bit fixed point, which the tables below reproduce term by
// term. The detection samples a few points of the camera's pictures this way instead of having
// every pixel converted.

#include <algorithm>
#include <array>
#include <cstdint>

#include "detection/frameview.h"

// The integer matrix videoconvert derives for each colour set (its rows' luma factor and
// chroma factors, 8 fractional bits; the offsets it works out are not used by the fast path).
// A term is the value minus 128 as a signed byte, copied into both bytes of a 16-bit word,
// times the factor, of which the upper 16 bits are kept.
struct YuvCoefficients {
    int luma = 0;
    int blueFromU = 0;
    int greenFromU = 0;
    int greenFromV = 0;
    int redFromV = 0;
};

YuvCoefficients yuvCoefficients(YuvColours colours);

// A point's blue, green and red are its luma term plus its chroma terms, each sum saturated to
// -128..127 and then moved up by 128.
struct YuvTerms {
    std::array<std::int16_t, 256> luma{};
    std::array<std::int16_t, 256> blueFromU{};
    std::array<std::int16_t, 256> greenFromU{};
    std::array<std::int16_t, 256> greenFromV{};
    std::array<std::int16_t, 256> redFromV{};
};

const YuvTerms& yuvTerms(YuvColours colours);

inline std::uint8_t yuvChannel(int sum) {
    return static_cast<std::uint8_t>(std::clamp(sum, -128, 127) + 128);
}

// Writes blue, green, red and 255 for the unused byte, as videoconvert does.
inline void convertYuvPoint(const YuvTerms& terms, std::uint8_t y, std::uint8_t u, std::uint8_t v,
                            std::uint8_t* bgrx) {
    const int luma = terms.luma[y];
    bgrx[0] = yuvChannel(luma + terms.blueFromU[u]);
    bgrx[1] = yuvChannel(luma + terms.greenFromU[u] + terms.greenFromV[v]);
    bgrx[2] = yuvChannel(luma + terms.redFromV[v]);
    bgrx[3] = 255;
}

// The whole picture as blue, green, red, unused into `out` (rows `outStride` bytes apart): a
// copy of a BGRx picture, videoconvert's conversion of an I420 or RGB one.
void convertToBgrx(const FrameView& picture, std::uint8_t* out, int outStride);
