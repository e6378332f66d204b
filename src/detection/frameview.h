#pragma once

#include <cstdint>

// A camera picture as delivered by the pipeline: 4 bytes per pixel in the order blue, green,
// red, unused; rows top-down, `stride` bytes apart.
struct FrameView {
    const std::uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;
};
