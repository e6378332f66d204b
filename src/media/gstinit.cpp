#include "media/gstinit.h"

#include <gst/gst.h>

#include "media/gstpointer.h"

bool initGStreamer(std::string* error) {
    GError* failure = nullptr;
    if (gst_init_check(nullptr, nullptr, &failure))
        return true;
    const GErrorPointer owned(failure);
    if (error)
        *error = owned ? owned->message : "no reason given";
    return false;
}
