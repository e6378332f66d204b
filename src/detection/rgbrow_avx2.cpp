#include <immintrin.h>

#include "detection/rgbrow.h"

// Only the function below is compiled for AVX2 (by attribute), as in workframe_avx2.cpp.

__attribute__((target("avx2"))) void convertRgbRowAvx2(const std::uint8_t* row, int width,
                                                       std::uint8_t* out) {
    // Each lane takes 4 pixels from the first 12 of its 16 loaded bytes.
    const __m256i order =
        _mm256_setr_epi8(2, 1, 0, -128, 5, 4, 3, -128, 8, 7, 6, -128, 11, 10, 9, -128, 2, 1, 0,
                         -128, 5, 4, 3, -128, 8, 7, 6, -128, 11, 10, 9, -128);
    const __m256i opaque = _mm256_set1_epi32(static_cast<int>(0xff000000u));
    int x = 0;
    // The second load of 8 pixels reads 4 bytes beyond them, which must still be the row's.
    for (; (x + 8) * 3 + 4 <= width * 3; x += 8) {
        const std::uint8_t* p = row + x * 3;
        const __m256i loaded = _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(p + 12),
                                                   reinterpret_cast<const __m128i*>(p));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x * 4),
                            _mm256_or_si256(_mm256_shuffle_epi8(loaded, order), opaque));
    }
    convertRgbRow(row + x * 3, width - x, out + x * 4);
}
