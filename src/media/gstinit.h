#pragma once

#include <string>

// Initialises GStreamer once for the whole program; every later call only answers. False when
// it does not start, with GStreamer's reason in `error` when asked.
bool initGStreamer(std::string* error = nullptr);
