#include "detection/workframe.h"

#include <algorithm>

#include "detection/workframe_sampling.h"

namespace {

using Variant = void (*)(const FrameView&, bool, int, WorkFrame&);

Variant fastestVariant() {
    return cpuHasAvx2() ? makeWorkFrameAvx2 : makeWorkFramePortable;
}

}  // namespace

bool cpuHasAvx2() {
    return __builtin_cpu_supports("avx2");
}

void makeWorkFrame(const FrameView& picture, bool mirror, int brightness, WorkFrame& out) {
    static const Variant variant = fastestVariant();
    variant(picture, mirror, brightness, out);
}

void makeWorkFramePortable(const FrameView& picture, bool mirror, int brightness, WorkFrame& out) {
    WorkRowSource rows(picture, mirror, PointConversion::Portable);
    const auto& columns = rows.columns();
    const int delta = brightness - 128;
    auto adjust = [delta](std::uint8_t v) {
        return static_cast<std::uint8_t>(std::clamp(v + delta, 0, 255));
    };
    constexpr int kRowBytes = kWorkWidth * 4;
    constexpr int kHalfRowBytes = kRowBytes / 2;

    for (int band = 0; band < kBlockRows; ++band) {
        std::array<BlockColour, kBlockColumns> sums{};
        for (int y = band * kBlockSize; y < (band + 1) * kBlockSize; ++y) {
            const std::uint8_t* source = rows.row(y);
            // Odd rows follow the even row above them in the pair.
            std::uint8_t* row = out.rows.data() + (y % 2) * kRowBytes;
            for (int x = 0; x < kWorkWidth; ++x) {
                const std::uint8_t* p = source + columns[x] * 4;
                std::uint8_t* q = row + x * 4;
                q[0] = adjust(p[0]);
                q[1] = adjust(p[1]);
                q[2] = adjust(p[2]);
                q[3] = p[3];
                BlockColour& sum = sums[x / kBlockSize];
                sum.blue += q[0];
                sum.green += q[1];
                sum.red += q[2];
            }
            if (y % 2 == 1) {
                const std::uint8_t* upper = row - kRowBytes;
                std::uint8_t* half = out.halfSize.data() + (y / 2) * kHalfRowBytes;
                for (int i = 0; i < kHalfRowBytes; ++i) {
                    const int pixel = i / 4;
                    const int byte = i % 4;
                    const int left = pixel * 8 + byte;
                    half[i] = roundedAverage(roundedAverage(upper[left], row[left]),
                                             roundedAverage(upper[left + 4], row[left + 4]));
                }
            }
        }
        const int blockRow = blockRowOfBand(band);
        for (int c = 0; c < kBlockColumns; ++c) {
            constexpr int kPixelsPerBlock = kBlockSize * kBlockSize;
            out.averages[blockIndex(c, blockRow)] = {sums[c].blue / kPixelsPerBlock,
                                                     sums[c].green / kPixelsPerBlock,
                                                     sums[c].red / kPixelsPerBlock};
        }
    }
    out.bytesPerPixel = kBytesPerPixel;
}
