#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "detection/frameview.h"

// Distinct camera pictures of one scene, each with its own sensor noise, together at least
// twice the size of the largest cache, so that cycling through them reads every picture from
// memory as a new camera picture is. In I420 (JPEG's colours, as a 4:2:0 MJPEG camera's
// decoder gives them), packed RGB (as the decoder gives an RGB-coded JPEG) or BGRx.
class PicturePool {
public:
    PicturePool(int width, int height, PixelLayout layout = PixelLayout::Bgrx);

    const FrameView& next();
    std::size_t size() const { return m_views.size(); }

private:
    std::vector<std::vector<std::uint8_t>> m_pictures;
    std::vector<FrameView> m_views;
    std::size_t m_next = 0;
};
