#pragma once

#include <string>
#include <string_view>

class QImage;

// The picture as a baseline JPEG with three colour components; empty when it cannot be made.
std::string encodeJpeg(const QImage& picture, int quality);

// Puts the bytes in place of `path`: written under a new name beside it that only this program
// can have made (mode 0600, never an existing file or link), on the disk, then renamed over it,
// so a reader finds the old picture or the new one, never half of one. False when nothing was
// put; whatever stands at `path` then stays as it was.
bool replaceFile(const std::string& path, std::string_view bytes);
