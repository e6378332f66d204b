#pragma once

#include <gst/gst.h>

#include <vector>

#include "media/cameraformat.h"

// The formats in caps that a camera source answers with, raw or JPEG, smallest first and the
// fastest first within one size. Ranges (test sources, some drivers) are offered as the
// common sizes and rates that lie within them.
std::vector<CameraFormat> offeredFormats(const GstCaps* caps);

// Whether the pictures that come out of the source pad `pad` are decoded from recorded or
// streamed footage: a decoder, demuxer, parser or depayloader lies upstream. They then come in
// the format the footage was made in, whatever the decoder's caps offer.
bool decodedFromStream(GstPad* pad);
