#include "detection/rgbrow.h"

void convertRgbRow(const std::uint8_t* row, int width, std::uint32_t* out) {
    for (int x = 0; x < width; ++x) {
        const std::uint8_t* p = row + x * 3;
        // Blue, green, red, 255 in memory on this byte order.
        out[x] = p[2] | std::uint32_t{p[1]} << 8 | std::uint32_t{p[0]} << 16 | 0xff000000u;
    }
}
