#pragma once

#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

#include <string>

#include "media/gstpointer.h"

// The pipeline of one alert sound or module: an appsrc with `caps`, fed by `callbacks`, through
// conversion and resampling into `sinkDescription` (a gst-launch description of the sink).
// Made ready, so the device is open; nullptr when that fails. Its bus messages are dropped:
// nobody reads them.
PipelinePointer makeAlertPipeline(GstCaps* caps, const std::string& sinkDescription,
                                  const GstAppSrcCallbacks& callbacks, gpointer data);
