#pragma once

#include <gst/gst.h>

#include <string>

// What an error message on a bus says; "error" when it says nothing.
std::string errorText(GstMessage* message);
