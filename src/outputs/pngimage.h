#pragma once

#include <QImage>

#include <cstddef>

// Decodes PNG data with libpng into an RGB picture; a null picture for data it cannot read.
QImage decodePng(const unsigned char* data, std::size_t size);
