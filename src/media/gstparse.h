#pragma once

#include <string>

#include "media/gstpointer.h"

// Elements made from gst-launch descriptions. Each returns an owned element, or nullptr with
// the reason in `error`; an element that came with an error is dropped.

// A pipeline, or the one element the description names.
PipelinePointer parseLaunch(const std::string& description, std::string& error);

// A bin to go into a pipeline; with `ghostUnlinkedPads` its unlinked pads are its own.
GstPointer<GstElement> parseBin(const std::string& description, bool ghostUnlinkedPads,
                                std::string& error);
