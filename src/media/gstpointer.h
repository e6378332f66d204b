#pragma once

#include <gst/gst.h>

#include <memory>

// Owners of GStreamer and GLib references, released on every path.

// How a GStreamer handle is released: GstObject kinds (elements, pads, buses, clocks,
// factories, devices) by default, mini objects and plain structures by their own calls.
template <typename T>
struct GstDeleter {
    void operator()(T* object) const { gst_object_unref(object); }
};
template <>
struct GstDeleter<GstSample> {
    void operator()(GstSample* sample) const { gst_sample_unref(sample); }
};
template <>
struct GstDeleter<GstBuffer> {
    void operator()(GstBuffer* buffer) const { gst_buffer_unref(buffer); }
};
template <>
struct GstDeleter<GstCaps> {
    void operator()(GstCaps* caps) const { gst_caps_unref(caps); }
};
template <>
struct GstDeleter<GstMessage> {
    void operator()(GstMessage* message) const { gst_message_unref(message); }
};
template <>
struct GstDeleter<GstStructure> {
    void operator()(GstStructure* structure) const { gst_structure_free(structure); }
};
template <>
struct GstDeleter<GstIterator> {
    void operator()(GstIterator* iterator) const { gst_iterator_free(iterator); }
};
template <typename T>
using GstPointer = std::unique_ptr<T, GstDeleter<T>>;

// Owns a top-level element: stopping it joins its streaming threads before anything they use
// goes.
struct PipelineDeleter {
    void operator()(GstElement* pipeline) const {
        gst_element_set_state(pipeline, GST_STATE_NULL);
        GstDeleter<GstElement>()(pipeline);
    }
};
using PipelinePointer = std::unique_ptr<GstElement, PipelineDeleter>;

struct GErrorDeleter {
    void operator()(GError* error) const { g_error_free(error); }
};
using GErrorPointer = std::unique_ptr<GError, GErrorDeleter>;

struct GFreeDeleter {
    void operator()(gpointer memory) const { g_free(memory); }
};
using GText = std::unique_ptr<gchar, GFreeDeleter>;
