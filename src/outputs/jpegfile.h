#pragma once

#include <string>

class QImage;

// The picture as a baseline JPEG with three colour components; empty when it cannot be made.
std::string encodeJpeg(const QImage& picture, int quality);
