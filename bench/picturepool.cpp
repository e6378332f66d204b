#include "picturepool.h"

#include <algorithm>
#include <random>

#include "cachesize.h"

namespace {

constexpr std::size_t kMinimumPictures = 8;

}  // namespace

PicturePool::PicturePool(int width, int height, PixelLayout layout) {
    const bool planar = layout == PixelLayout::I420;
    const int pixelBytes = layout == PixelLayout::Rgb ? 3 : 4;
    const std::size_t lumaBytes = static_cast<std::size_t>(width) * height;
    const std::size_t chromaBytes = lumaBytes / 4;
    const std::size_t bytes = planar ? lumaBytes + 2 * chromaBytes : lumaBytes * pixelBytes;
    const std::size_t count =
        std::max(kMinimumPictures, (2 * largestCacheBytes() + bytes - 1) / bytes);
    std::mt19937 random(1);
    std::vector<std::uint8_t> scene(bytes);
    for (auto& byte : scene)
        byte = static_cast<std::uint8_t>(random());
    // A little noise on every byte, as a camera has, keeps the changed blocks few.
    std::uniform_int_distribution<int> noise(-2, 2);
    m_pictures.resize(count, scene);
    for (auto& picture : m_pictures) {
        for (auto& byte : picture)
            byte = static_cast<std::uint8_t>(std::clamp(byte + noise(random), 0, 255));
        FrameView view{picture.data(), width, height, planar ? width : width * pixelBytes};
        view.layout = layout;
        if (planar) {
            view.uPlane = picture.data() + lumaBytes;
            view.vPlane = view.uPlane + chromaBytes;
            view.uStride = view.vStride = width / 2;
        }
        m_views.push_back(view);
    }
}

const FrameView& PicturePool::next() {
    const FrameView& view = m_views[m_next];
    m_next = (m_next + 1) % m_views.size();
    return view;
}
