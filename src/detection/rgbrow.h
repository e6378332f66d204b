#pragma once

// A row of packed red, green, blue bytes as blue, green, red, 255: what videoconvert makes of
// it for BGRx, a change of byte order only. A whole row costs little more than its sampled
// points would, as every cache line of it is read either way, and leaves the sampling to the
// steps that take BGRx rows.

#include <cstdint>

// `out` takes 4 bytes a pixel.
void convertRgbRow(const std::uint8_t* row, int width, std::uint8_t* out);
void convertRgbRowAvx2(const std::uint8_t* row, int width, std::uint8_t* out);
