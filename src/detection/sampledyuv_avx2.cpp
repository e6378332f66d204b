#include <immintrin.h>

#include "detection/sampledyuv.h"

// Only the functions below are compiled for AVX2 (by attribute), as in workframe_avx2.cpp.

namespace {

// The 16 bytes of group g.
__attribute__((target("avx2"))) inline __m128i gatherGroup(const ByteGather& gather, int g,
                                                           const std::uint8_t* row) {
    __m128i bytes = _mm_setzero_si128();
    for (int k = gather.first[g]; k < gather.first[g + 1]; ++k) {
        const ByteGather::Load& load = gather.loads[k];
        const __m128i loaded = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + load.offset));
        const __m128i shuffle =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(load.shuffle.data()));
        bytes = _mm_or_si128(bytes, _mm_shuffle_epi8(loaded, shuffle));
    }
    return bytes;
}

// Groups g and g + 1 in the two lanes.
__attribute__((target("avx2"))) inline __m256i gatherPair(const ByteGather& gather, int g,
                                                          const std::uint8_t* row) {
    return _mm256_set_m128i(gatherGroup(gather, g + 1, row), gatherGroup(gather, g, row));
}

}  // namespace

// videoconvert's steps: value - 128 as a signed byte, copied into both bytes of a word
// (unpacking a register with itself), mulhsw (_mm256_mulhi_epi16), wrapping word adds,
// convssswb (_mm256_packs_epi16), + 128, and 127 + 128 for the fourth byte. The packs keep
// each lane's points in order, so only the final interleave crosses lanes.
__attribute__((target("avx2"))) void convertSampledRowAvx2(const SampledYuvPlan& plan,
                                                           const std::uint8_t* luma,
                                                           const std::uint8_t* u,
                                                           const std::uint8_t* v,
                                                           std::uint32_t* out) {
    const YuvCoefficients& c = plan.coefficients;
    const __m256i lumaFactor = _mm256_set1_epi16(static_cast<std::int16_t>(c.luma));
    const __m256i blueFromU = _mm256_set1_epi16(static_cast<std::int16_t>(c.blueFromU));
    const __m256i greenFromU = _mm256_set1_epi16(static_cast<std::int16_t>(c.greenFromU));
    const __m256i greenFromV = _mm256_set1_epi16(static_cast<std::int16_t>(c.greenFromV));
    const __m256i redFromV = _mm256_set1_epi16(static_cast<std::int16_t>(c.redFromV));
    const __m256i centre = _mm256_set1_epi8(static_cast<char>(0x80));
    const __m256i opaque = _mm256_set1_epi8(static_cast<char>(0xff));

    for (int g = 0; g < kWorkWidth / 16; g += 2) {
        const __m256i y = _mm256_xor_si256(gatherPair(plan.luma, g, luma), centre);
        const __m256i us = _mm256_xor_si256(gatherPair(plan.chroma, g, u), centre);
        const __m256i vs = _mm256_xor_si256(gatherPair(plan.chroma, g, v), centre);

        __m256i channels[3][2];  // blue, green, red; the low and high 8 points of each lane
        for (int half = 0; half < 2; ++half) {
            const __m256i yw = half ? _mm256_unpackhi_epi8(y, y) : _mm256_unpacklo_epi8(y, y);
            const __m256i uw = half ? _mm256_unpackhi_epi8(us, us) : _mm256_unpacklo_epi8(us, us);
            const __m256i vw = half ? _mm256_unpackhi_epi8(vs, vs) : _mm256_unpacklo_epi8(vs, vs);
            const __m256i lumaTerm = _mm256_mulhi_epi16(yw, lumaFactor);
            channels[0][half] = _mm256_add_epi16(lumaTerm, _mm256_mulhi_epi16(uw, blueFromU));
            channels[1][half] =
                _mm256_add_epi16(_mm256_add_epi16(lumaTerm, _mm256_mulhi_epi16(uw, greenFromU)),
                                 _mm256_mulhi_epi16(vw, greenFromV));
            channels[2][half] = _mm256_add_epi16(lumaTerm, _mm256_mulhi_epi16(vw, redFromV));
        }
        const __m256i blue =
            _mm256_xor_si256(_mm256_packs_epi16(channels[0][0], channels[0][1]), centre);
        const __m256i green =
            _mm256_xor_si256(_mm256_packs_epi16(channels[1][0], channels[1][1]), centre);
        const __m256i red =
            _mm256_xor_si256(_mm256_packs_epi16(channels[2][0], channels[2][1]), centre);

        const __m256i blueGreenLow = _mm256_unpacklo_epi8(blue, green);
        const __m256i blueGreenHigh = _mm256_unpackhi_epi8(blue, green);
        const __m256i redOpaqueLow = _mm256_unpacklo_epi8(red, opaque);
        const __m256i redOpaqueHigh = _mm256_unpackhi_epi8(red, opaque);
        // Points 0-3 and 16-19, 4-7 and 20-23, 8-11 and 24-27, 12-15 and 28-31.
        const __m256i p0 = _mm256_unpacklo_epi16(blueGreenLow, redOpaqueLow);
        const __m256i p1 = _mm256_unpackhi_epi16(blueGreenLow, redOpaqueLow);
        const __m256i p2 = _mm256_unpacklo_epi16(blueGreenHigh, redOpaqueHigh);
        const __m256i p3 = _mm256_unpackhi_epi16(blueGreenHigh, redOpaqueHigh);
        auto* target = reinterpret_cast<__m256i*>(out + g * 16);
        _mm256_storeu_si256(target, _mm256_permute2x128_si256(p0, p1, 0x20));
        _mm256_storeu_si256(target + 1, _mm256_permute2x128_si256(p2, p3, 0x20));
        _mm256_storeu_si256(target + 2, _mm256_permute2x128_si256(p0, p1, 0x31));
        _mm256_storeu_si256(target + 3, _mm256_permute2x128_si256(p2, p3, 0x31));
    }
}
