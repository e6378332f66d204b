#include "testfootage.h"

#include <gst/gst.h>
#include <gtest/gtest.h>

void writeFootage(const std::string& path, const std::string& encoder) {
    GError* error = nullptr;
    GstElement* pipeline =
        gst_parse_launch(("videotestsrc num-buffers=30 pattern=ball"
                          " ! video/x-raw,format=I420,width=160,height=120,framerate=30/1 ! " +
                          (encoder.empty() ? "" : encoder + " ! ") + "avimux ! filesink name=out")
                             .c_str(),
                         &error);
    ASSERT_EQ(error, nullptr) << error->message;
    GstElement* out = gst_bin_get_by_name(GST_BIN(pipeline), "out");
    g_object_set(out, "location", path.c_str(), nullptr);
    gst_object_unref(out);
    ASSERT_NE(gst_element_set_state(pipeline, GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* message = gst_bus_timed_pop_filtered(
        bus, 30 * GST_SECOND, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    const bool finished = message && GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS;
    if (message)
        gst_message_unref(message);
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    ASSERT_TRUE(finished) << "writing " << path;
}

CameraSource sourceGiven(const std::string& given) {
    std::string error;
    const std::optional<CameraSource> source = givenSource(given, error);
    if (!source) {
        ADD_FAILURE() << given << ": " << error;
        // Fails to connect, where the empty source would be the demo camera.
        return {given, "sentellonosuchsource", {}};
    }
    return *source;
}
