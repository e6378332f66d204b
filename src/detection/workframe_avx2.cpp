#include <immintrin.h>

#include <algorithm>

#include "detection/workframe.h"
#include "detection/workframe_sampling.h"

// Only the function below is compiled for AVX2 (by attribute, not by a file-wide -mavx2):
// the inline helpers it shares with the portable variant must stay plain, or the linker might
// keep an AVX2 copy of them for processors without it.

namespace {

// How the 8 source pixels of one group of working pixels are fetched. Nearest-neighbour
// columns of a group mostly lie within 8 or 16 neighbouring source pixels (cameras up to twice
// the working width); one or two plain loads and a permute beat a gather by far there.
enum class Fetch { OneLoad, TwoLoads, Gather };

struct GroupPlan {
    Fetch fetch = Fetch::Gather;
    int base = 0;  // first source pixel of the loads
};

std::array<GroupPlan, kWorkWidth / 8> planGroups(
    const std::array<std::int32_t, kWorkWidth>& columns, int sourceWidth,
    std::array<std::int32_t, kWorkWidth>& relative) {
    std::array<GroupPlan, kWorkWidth / 8> plans{};
    for (int g = 0; g < kWorkWidth / 8; ++g) {
        const auto first = columns.begin() + g * 8;
        const auto [lowest, highest] = std::minmax_element(first, first + 8);
        const int span = *highest - *lowest;
        GroupPlan& plan = plans[g];
        plan.base = *lowest;
        // The loads must stay inside the row.
        if (span < 8 && plan.base + 8 <= sourceWidth) {
            plan.fetch = Fetch::OneLoad;
        } else if (span < 16 && plan.base + 16 <= sourceWidth) {
            plan.fetch = Fetch::TwoLoads;
        }
        for (int i = 0; i < 8; ++i) {
            relative[g * 8 + i] = plan.fetch == Fetch::Gather ? first[i] : first[i] - plan.base;
        }
    }
    return plans;
}

__attribute__((target("avx2"))) inline __m256i fetchGroup(const int* source, const GroupPlan& plan,
                                                          const std::int32_t* relative) {
    const __m256i index = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(relative));
    switch (plan.fetch) {
        case Fetch::OneLoad: {
            const __m256i near =
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(source + plan.base));
            return _mm256_permutevar8x32_epi32(near, index);
        }
        case Fetch::TwoLoads: {
            const auto* at = reinterpret_cast<const __m256i*>(source + plan.base);
            const __m256i low = _mm256_permutevar8x32_epi32(_mm256_loadu_si256(at), index);
            const __m256i high = _mm256_permutevar8x32_epi32(_mm256_loadu_si256(at + 1), index);
            return _mm256_blendv_epi8(low, high, _mm256_cmpgt_epi32(index, _mm256_set1_epi32(7)));
        }
        case Fetch::Gather:
            break;
    }
    return _mm256_i32gather_epi32(source, index, 4);
}

}  // namespace

__attribute__((target("avx2"))) void makeWorkFrameAvx2(const FrameView& picture, bool mirror,
                                                       int brightness, WorkFrame& out) {
    WorkRowSource rows(picture, mirror, PointConversion::Avx2);
    std::array<std::int32_t, kWorkWidth> relative;
    const auto plans = planGroups(rows.columns(), rows.rowWidth(), relative);
    // Exact saturating brightness: one of the two is zero; the unused fourth byte stays.
    const int delta = brightness - 128;
    const int step = delta > 0 ? delta : -delta;
    const __m256i colourStep = _mm256_set1_epi32(step * 0x010101);
    const __m256i raise = delta > 0 ? colourStep : _mm256_setzero_si256();
    const __m256i lower = delta < 0 ? colourStep : _mm256_setzero_si256();
    const __m256i evenThenOdd = _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7);
    constexpr int kRowBytes = kWorkWidth * 4;
    constexpr int kHalfRowBytes = kRowBytes / 2;

    for (int band = 0; band < kBlockRows; ++band) {
        // Per block: 16 lanes of 16 bits, lane i sums channel i % 4 of a quarter of the block's
        // pixels. At most 64 values of 255 per lane, so no overflow.
        __m256i sums[kBlockColumns];
        for (__m256i& sum : sums)
            sum = _mm256_setzero_si256();

        for (int y = band * kBlockSize; y < (band + 1) * kBlockSize; ++y) {
            const int* source = reinterpret_cast<const int*>(rows.row(y));
            // Odd rows follow the even row above them in the pair.
            std::uint8_t* row = out.rows.data() + (y % 2) * kRowBytes;
            for (int c = 0; c < kBlockColumns; ++c) {
                for (int x = c * kBlockSize; x < (c + 1) * kBlockSize; x += 8) {
                    __m256i pixels = fetchGroup(source, plans[x / 8], &relative[x]);
                    pixels = _mm256_subs_epu8(_mm256_adds_epu8(pixels, raise), lower);
                    _mm256_storeu_si256(reinterpret_cast<__m256i*>(row + x * 4), pixels);
                    const __m256i low = _mm256_cvtepu8_epi16(_mm256_castsi256_si128(pixels));
                    const __m256i high = _mm256_cvtepu8_epi16(_mm256_extracti128_si256(pixels, 1));
                    sums[c] = _mm256_add_epi16(sums[c], _mm256_add_epi16(low, high));
                }
            }
            if (y % 2 == 1) {
                const std::uint8_t* upper = row - kRowBytes;
                std::uint8_t* half = out.halfSize.data() + (y / 2) * kHalfRowBytes;
                for (int x = 0; x < kWorkWidth; x += 8) {
                    const __m256i a =
                        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(upper + x * 4));
                    const __m256i b =
                        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + x * 4));
                    const __m256i paired =
                        _mm256_permutevar8x32_epi32(_mm256_avg_epu8(a, b), evenThenOdd);
                    const __m128i averaged = _mm_avg_epu8(_mm256_castsi256_si128(paired),
                                                          _mm256_extracti128_si256(paired, 1));
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(half + x * 2), averaged);
                }
            }
        }

        const int blockRow = blockRowOfBand(band);
        for (int c = 0; c < kBlockColumns; ++c) {
            alignas(32) std::uint16_t lanes[16];
            _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), sums[c]);
            int channel[4] = {};
            for (int i = 0; i < 16; ++i)
                channel[i % 4] += lanes[i];
            constexpr int kPixelsPerBlock = kBlockSize * kBlockSize;
            out.averages[blockIndex(c, blockRow)] = {channel[0] / kPixelsPerBlock,
                                                     channel[1] / kPixelsPerBlock,
                                                     channel[2] / kPixelsPerBlock};
        }
    }
    out.bytesPerPixel = kBytesPerPixel;
}
