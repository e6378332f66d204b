#pragma once

#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

#include <memory>
#include <string>

// The pipeline of one alert sound or module: an appsrc with `caps`, fed by `callbacks`, through
// conversion and resampling into `sinkDescription` (a gst-launch description of the sink).
// Made ready, so the device is open; nullptr when that fails. Its bus messages are dropped:
// nobody reads them. The caller owns the pipeline and sets it to NULL before unref.
GstElement* makeAlertPipeline(GstCaps* caps, const std::string& sinkDescription,
                              const GstAppSrcCallbacks& callbacks, gpointer data);

// Owns a pipeline: stopping it joins its streaming threads before anything they use goes.
struct PipelineDeleter {
    void operator()(GstElement* pipeline) const {
        gst_element_set_state(pipeline, GST_STATE_NULL);
        gst_object_unref(pipeline);
    }
};
using PipelinePtr = std::unique_ptr<GstElement, PipelineDeleter>;
