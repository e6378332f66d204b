#include "media/alertpipeline.h"

#include "media/gstinit.h"
#include "media/gstparse.h"

namespace {

// A sink that waits for the clock drops the first samples when it starts late; an alert has
// nothing to keep in step with, so every sample is played as soon as the device takes it.
void playWithoutClock(GstElement* pipeline) {
    const GstPointer<GstIterator> sinks(gst_bin_iterate_sinks(GST_BIN(pipeline)));
    gst_iterator_foreach(
        sinks.get(),
        [](const GValue* value, gpointer) {
            GObject* sink = G_OBJECT(g_value_get_object(value));
            if (g_object_class_find_property(G_OBJECT_GET_CLASS(sink), "sync"))
                g_object_set(sink, "sync", FALSE, nullptr);
        },
        nullptr);
}

}  // namespace

PipelinePointer makeAlertPipeline(GstCaps* caps, const std::string& sinkDescription,
                                  const GstAppSrcCallbacks& callbacks, gpointer data) {
    if (!initGStreamer())
        return nullptr;
    const std::string description =
        "appsrc name=source format=time ! audioconvert ! audioresample ! " + sinkDescription;
    std::string error;
    PipelinePointer pipeline = parseLaunch(description, error);
    if (!pipeline)
        return nullptr;
    const GstPointer<GstElement> source(gst_bin_get_by_name(GST_BIN(pipeline.get()), "source"));
    g_object_set(source.get(), "caps", caps, nullptr);
    gst_app_src_set_callbacks(GST_APP_SRC(source.get()),
                              const_cast<GstAppSrcCallbacks*>(&callbacks), data, nullptr);
    playWithoutClock(pipeline.get());

    const GstPointer<GstBus> bus(gst_element_get_bus(pipeline.get()));
    gst_bus_set_flushing(bus.get(), TRUE);

    // Opening the device happens on the way to READY; the pipeline waits there for play.
    if (gst_element_set_state(pipeline.get(), GST_STATE_READY) == GST_STATE_CHANGE_FAILURE)
        return nullptr;
    return pipeline;
}
