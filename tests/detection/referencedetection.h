#pragma once

// A plain, step-by-step rendering of the detection arithmetic that the fast variants are
// checked against: mirror the picture, stretch it, correct the brightness, then reduce it.

#include <cstdint>
#include <vector>

#include "detection/frameview.h"
#include "detection/workframe.h"

struct Picture {
    int width = 0;
    int height = 0;
    int stride = 0;
    std::vector<std::uint8_t> pixels;

    Picture(int width, int height, int padding = 0);
    std::uint8_t* at(int x, int y) { return pixels.data() + y * stride + x * 4; }
    const std::uint8_t* at(int x, int y) const { return pixels.data() + y * stride + x * 4; }
    FrameView view() const { return {pixels.data(), width, height, stride}; }
};

Picture randomPicture(int width, int height, unsigned seed, int padding = 0);

// The whole reference run, filling the same fields as makeWorkFrame.
WorkFrame referenceWorkFrame(const Picture& picture, bool mirror, int brightness);
