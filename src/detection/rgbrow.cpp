#include "detection/rgbrow.h"

void convertRgbRow(const std::uint8_t* row, int width, std::uint8_t* out) {
    for (int x = 0; x < width; ++x) {
        out[x * 4] = row[x * 3 + 2];
        out[x * 4 + 1] = row[x * 3 + 1];
        out[x * 4 + 2] = row[x * 3];
        out[x * 4 + 3] = 255;
    }
}
