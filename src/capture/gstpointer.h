#pragma once

#include <gst/gst.h>

#include <memory>

// Owners of GStreamer and GLib references, released on every path.
struct GstObjectDeleter {
    void operator()(gpointer object) const { gst_object_unref(object); }
};
template <typename T>
using GstPointer = std::unique_ptr<T, GstObjectDeleter>;

struct GstMessageDeleter {
    void operator()(GstMessage* message) const { gst_message_unref(message); }
};
using GstMessagePointer = std::unique_ptr<GstMessage, GstMessageDeleter>;

struct GstCapsDeleter {
    void operator()(GstCaps* caps) const { gst_caps_unref(caps); }
};
using GstCapsPointer = std::unique_ptr<GstCaps, GstCapsDeleter>;

struct GFreeDeleter {
    void operator()(gpointer memory) const { g_free(memory); }
};
using GText = std::unique_ptr<gchar, GFreeDeleter>;
