#include "picturepool.h"

#include <algorithm>
#include <random>

#include "cachesize.h"

namespace {

constexpr std::size_t kMinimumPictures = 8;

}  // namespace

PicturePool::PicturePool(int width, int height) {
    const std::size_t bytes = static_cast<std::size_t>(width) * height * 4;
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
        m_views.push_back(FrameView{picture.data(), width, height, width * 4});
    }
}

const FrameView& PicturePool::next() {
    const FrameView& view = m_views[m_next];
    m_next = (m_next + 1) % m_views.size();
    return view;
}
