// With GStreamer's leaks tracer on (GST_TRACERS=leaks, as CTest runs the media tests), a test
// program fails when GStreamer objects are still alive at its end: an element, a pad or a
// buffer that nothing frees any more grows a watch that runs for days. The tracer lists them,
// with their types and names, in the error output.

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>

namespace {

std::atomic<bool> leaksReported{false};

void noteLeaks(const gchar* domain, GLogLevelFlags level, const gchar* message, gpointer) {
    if (std::strstr(message, "Leaks detected"))
        leaksReported = true;
    g_log_default_handler(domain, level, message, nullptr);
}

bool leaksTracerOn() {
    const gchar* tracers = g_getenv("GST_TRACERS");
    return tracers && std::strstr(tracers, "leaks");
}

// Last of all, when no test holds anything any more: the tracer reports at gst_deinit.
class LeakCheck : public ::testing::Environment {
public:
    void TearDown() override {
        if (!leaksTracerOn() || !gst_is_initialized())
            return;
        gst_debug_set_threshold_for_name("GST_TRACER", GST_LEVEL_TRACE);
        g_log_set_handler("GStreamer", G_LOG_LEVEL_WARNING, &noteLeaks, nullptr);
        g_log_set_default_handler(&noteLeaks, nullptr);
        gst_deinit();
        EXPECT_FALSE(leaksReported)
            << "GStreamer objects are alive at the end: the object-alive lines above";
    }
};

[[maybe_unused]] const auto* const leakCheck = ::testing::AddGlobalTestEnvironment(new LeakCheck);

}  // namespace
