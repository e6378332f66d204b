#pragma once

#include <string>

class QImage;

// Saves the picture as a baseline JPEG with three colour components. The file is written
// beside `path` and then renamed over it, so a reader (an upload, a picture tool) finds
// either the old picture or the new one, never half of one. False when nothing was saved;
// an existing file then stays as it was.
bool writeJpegFile(const std::string& path, const QImage& picture, int quality);
