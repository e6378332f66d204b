#pragma once

// The format the camera's pictures reach the detection in. An I420 picture whose colours the
// detection converts exactly as videoconvert would, and a packed RGB one (as a decoder gives
// an RGB-coded JPEG), stay as they are on a processor with AVX2, so only the points the
// detection samples are converted; any other picture is converted to BGRx whole, from the
// format it comes in (a YUY2 picture is not made I420 first, which would change its colours).

#include <gst/gst.h>
#include <gst/video/video.h>

#include <optional>

#include "detection/frameview.h"

// Holds `filter`, after `converter`, to I420, RGB or BGRx by the caps each new stream's pictures
// arrive at the converter with, before the converter takes them up.
void followPictureFormat(GstElement* converter, GstElement* filter);

// The view of a mapped picture in one of those formats; none for any other.
std::optional<FrameView> frameViewOf(const GstVideoFrame& frame);
