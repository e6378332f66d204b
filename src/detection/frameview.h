#pragma once

#include <cstdint>

enum class PixelLayout {
    // 4 bytes per pixel in the order blue, green, red, unused.
    Bgrx,
    // 3 bytes per pixel in the order red, green, blue.
    Rgb,
    // A full-size luma plane and two half-size chroma planes (U, then V), each half size
    // rounded up; a 2 x 2 square of pixels shares one chroma sample.
    I420,
};

// The colour matrix and value range of an I420 picture, each with its own conversion to
// blue, green and red.
enum class YuvColours { Bt601Full, Bt601Limited, Bt709Limited };

// A camera picture as delivered by the pipeline; rows top-down, `stride` bytes apart. For an
// I420 picture `pixels` and `stride` are those of the luma plane.
struct FrameView {
    const std::uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;
    PixelLayout layout = PixelLayout::Bgrx;
    // I420 only.
    const std::uint8_t* uPlane = nullptr;
    const std::uint8_t* vPlane = nullptr;
    int uStride = 0;
    int vStride = 0;
    YuvColours colours = YuvColours::Bt601Full;
};
