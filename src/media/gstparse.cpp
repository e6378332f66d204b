#include "media/gstparse.h"

namespace {

// What the parser makes is floating; the owner takes it over.
template <typename Owner>
Owner adopt(GstElement* element, GError* failure, std::string& error) {
    const GErrorPointer failed(failure);
    Owner owned(element ? GST_ELEMENT(gst_object_ref_sink(element)) : nullptr);
    if (failed) {
        error = failed->message;
        return nullptr;
    }
    return owned;
}

}  // namespace

PipelinePointer parseLaunch(const std::string& description, std::string& error) {
    GError* failure = nullptr;
    GstElement* element = gst_parse_launch(description.c_str(), &failure);
    return adopt<PipelinePointer>(element, failure, error);
}

GstPointer<GstElement> parseBin(const std::string& description, bool ghostUnlinkedPads,
                                std::string& error) {
    GError* failure = nullptr;
    GstElement* element =
        gst_parse_bin_from_description(description.c_str(), ghostUnlinkedPads, &failure);
    return adopt<GstPointer<GstElement>>(element, failure, error);
}
