#pragma once

#include <cstddef>

// Sentello's logo, a PNG of 600 x 240 (assets/logo.png), built into the program.
extern const unsigned char kLogoPng[];
extern const std::size_t kLogoPngSize;
