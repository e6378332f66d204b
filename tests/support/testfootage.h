#pragma once

#include <string>

#include "media/camerasources.h"

// Writes an AVI file of 30 pictures (one second) of a moving ball, 160 × 120 at 30 pictures a
// second: uncompressed, or made by `encoder` (say "jpegenc"). Fails the test when it cannot.
void writeFootage(const std::string& path, const std::string& encoder = {});

// The source a text given on the command line names; fails the test when it names none.
CameraSource sourceGiven(const std::string& given);
