#include "outputs/alertpipeline.h"

namespace {

// A sink that waits for the clock drops the first samples when it starts late; an alert has
// nothing to keep in step with, so every sample is played as soon as the device takes it.
void playWithoutClock(GstElement* pipeline) {
    GstIterator* sinks = gst_bin_iterate_sinks(GST_BIN(pipeline));
    gst_iterator_foreach(
        sinks,
        [](const GValue* value, gpointer) {
            GObject* sink = G_OBJECT(g_value_get_object(value));
            if (g_object_class_find_property(G_OBJECT_GET_CLASS(sink), "sync"))
                g_object_set(sink, "sync", FALSE, nullptr);
        },
        nullptr);
    gst_iterator_free(sinks);
}

}  // namespace

GstElement* makeAlertPipeline(GstCaps* caps, const std::string& sinkDescription,
                              const GstAppSrcCallbacks& callbacks, gpointer data) {
    if (!gst_init_check(nullptr, nullptr, nullptr))
        return nullptr;
    const std::string description =
        "appsrc name=source format=time ! audioconvert ! audioresample ! " + sinkDescription;
    GError* error = nullptr;
    GstElement* pipeline = gst_parse_launch(description.c_str(), &error);
    if (error) {
        g_error_free(error);
        if (pipeline)
            gst_object_unref(pipeline);
        return nullptr;
    }
    GstElement* source = gst_bin_get_by_name(GST_BIN(pipeline), "source");
    g_object_set(source, "caps", caps, nullptr);
    gst_app_src_set_callbacks(GST_APP_SRC(source), const_cast<GstAppSrcCallbacks*>(&callbacks),
                              data, nullptr);
    gst_object_unref(source);
    playWithoutClock(pipeline);

    GstBus* bus = gst_element_get_bus(pipeline);
    gst_bus_set_flushing(bus, TRUE);
    gst_object_unref(bus);

    // Opening the device happens on the way to READY; the pipeline waits there for play.
    if (gst_element_set_state(pipeline, GST_STATE_READY) == GST_STATE_CHANGE_FAILURE) {
        gst_element_set_state(pipeline, GST_STATE_NULL);
        gst_object_unref(pipeline);
        return nullptr;
    }
    return pipeline;
}
