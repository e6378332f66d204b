#include "referencedetection.h"

#include <algorithm>
#include <random>

Picture::Picture(int width, int height, int padding)
    : width(width),
      height(height),
      stride(width * 4 + padding),
      pixels(static_cast<std::size_t>(stride) * height) {}

Picture randomPicture(int width, int height, unsigned seed, int padding) {
    Picture picture(width, height, padding);
    std::mt19937 random(seed);
    for (auto& byte : picture.pixels)
        byte = static_cast<std::uint8_t>(random());
    return picture;
}

namespace {

Picture mirrored(const Picture& picture) {
    Picture result(picture.width, picture.height);
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            std::copy_n(picture.at(picture.width - 1 - x, y), 4, result.at(x, y));
        }
    }
    return result;
}

Picture stretched(const Picture& picture) {
    Picture result(kWorkWidth, kWorkHeight);
    for (int y = 0; y < kWorkHeight; ++y) {
        for (int x = 0; x < kWorkWidth; ++x) {
            std::copy_n(
                picture.at(x * picture.width / kWorkWidth, y * picture.height / kWorkHeight), 4,
                result.at(x, y));
        }
    }
    return result;
}

void correctBrightness(Picture& picture, int brightness) {
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            std::uint8_t* p = picture.at(x, y);
            for (int channel = 0; channel < 3; ++channel) {
                p[channel] =
                    static_cast<std::uint8_t>(std::clamp(p[channel] + brightness - 128, 0, 255));
            }
        }
    }
}

int average(int a, int b) {
    return (a + b + 1) / 2;
}

}  // namespace

WorkFrame referenceWorkFrame(const Picture& picture, bool mirror, int brightness) {
    Picture work = stretched(mirror ? mirrored(picture) : picture);
    correctBrightness(work, brightness);

    WorkFrame result;
    result.bytesPerPixel = 4;
    for (int y = 0; y < kWorkHeight / 2; ++y) {
        for (int x = 0; x < kWorkWidth / 2; ++x) {
            for (int byte = 0; byte < 4; ++byte) {
                // Each column of the 2 x 2 square first, then the two columns.
                const int left =
                    average(work.at(2 * x, 2 * y)[byte], work.at(2 * x, 2 * y + 1)[byte]);
                const int right =
                    average(work.at(2 * x + 1, 2 * y)[byte], work.at(2 * x + 1, 2 * y + 1)[byte]);
                result.halfSize[(y * kWorkWidth / 2 + x) * 4 + byte] =
                    static_cast<std::uint8_t>(average(left, right));
            }
        }
    }
    // Block rows count from the bottom of the picture.
    for (int c = 0; c < kBlockColumns; ++c) {
        for (int r = 0; r < kBlockRows; ++r) {
            int sums[3] = {};
            for (int storedRow = 16 * r; storedRow < 16 * r + 16; ++storedRow) {
                for (int x = 16 * c; x < 16 * c + 16; ++x) {
                    const std::uint8_t* p = work.at(x, kWorkHeight - 1 - storedRow);
                    for (int channel = 0; channel < 3; ++channel)
                        sums[channel] += p[channel];
                }
            }
            result.averages[blockIndex(c, r)] = {sums[0] / 256, sums[1] / 256, sums[2] / 256};
        }
    }
    return result;
}
