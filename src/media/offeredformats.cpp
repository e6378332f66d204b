#include "media/offeredformats.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#include "media/gstpointer.h"

namespace {

constexpr std::array<std::pair<int, int>, 8> kCommonSizes = {{{160, 120},
                                                              {320, 240},
                                                              {640, 480},
                                                              {800, 600},
                                                              {1024, 768},
                                                              {1280, 720},
                                                              {1280, 960},
                                                              {1920, 1080}}};
constexpr std::array kCommonRates = {5, 10, 15, 20, 25, 30, 50, 60};

bool within(int length, const GValue* value) {
    if (G_VALUE_HOLDS_INT(value))
        return g_value_get_int(value) == length;
    if (GST_VALUE_HOLDS_INT_RANGE(value)) {
        return length >= gst_value_get_int_range_min(value) &&
               length <= gst_value_get_int_range_max(value);
    }
    if (GST_VALUE_HOLDS_LIST(value)) {
        for (guint i = 0; i < gst_value_list_get_size(value); ++i) {
            if (within(length, gst_value_list_get_value(value, i)))
                return true;
        }
    }
    return false;
}

// Fixed sizes as they are; sizes given as ranges or lists as the common sizes they allow.
std::vector<std::pair<int, int>> sizes(const GValue* width, const GValue* height) {
    if (!width || !height)
        return {};
    if (G_VALUE_HOLDS_INT(width) && G_VALUE_HOLDS_INT(height))
        return {{g_value_get_int(width), g_value_get_int(height)}};
    std::vector<std::pair<int, int>> result;
    for (const auto& [w, h] : kCommonSizes) {
        if (within(w, width) && within(h, height))
            result.emplace_back(w, h);
    }
    return result;
}

std::vector<std::pair<int, int>> rates(const GValue* value) {
    std::vector<std::pair<int, int>> result;
    if (!value)
        return result;
    if (GST_VALUE_HOLDS_FRACTION(value)) {
        const int numerator = gst_value_get_fraction_numerator(value);
        if (numerator > 0)
            result.emplace_back(numerator, gst_value_get_fraction_denominator(value));
    } else if (GST_VALUE_HOLDS_FRACTION_RANGE(value)) {
        const GValue* low = gst_value_get_fraction_range_min(value);
        const GValue* high = gst_value_get_fraction_range_max(value);
        for (int rate : kCommonRates) {
            GValue candidate = G_VALUE_INIT;
            g_value_init(&candidate, GST_TYPE_FRACTION);
            gst_value_set_fraction(&candidate, rate, 1);
            if (gst_value_compare(&candidate, low) != GST_VALUE_LESS_THAN &&
                gst_value_compare(&candidate, high) != GST_VALUE_GREATER_THAN) {
                result.emplace_back(rate, 1);
            }
            g_value_unset(&candidate);
        }
    } else if (GST_VALUE_HOLDS_LIST(value)) {
        for (guint i = 0; i < gst_value_list_get_size(value); ++i) {
            const auto more = rates(gst_value_list_get_value(value, i));
            result.insert(result.end(), more.begin(), more.end());
        }
    }
    return result;
}

// Deeper than any pipeline a source description makes; ends the search in a looped graph.
constexpr int kMaxUpstreamSteps = 64;

bool decodes(GstElement* element) {
    GstElementFactory* factory = gst_element_get_factory(element);
    const gchar* klass =
        factory ? gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_KLASS) : nullptr;
    if (!klass)
        return false;
    for (const char* kind : {"Decoder", "Demuxer", "Parser", "Depayloader"}) {
        if (std::strstr(klass, kind))
            return true;
    }
    return false;
}

// The pad of the element that makes what comes out of `pad`, through the ghost pads of bins
// such as uridecodebin. Null when a ghost pad has no target.
GstPointer<GstPad> makingPad(GstPad* pad) {
    GstPointer<GstPad> current(GST_PAD(gst_object_ref(pad)));
    while (current && GST_IS_GHOST_PAD(current.get()))
        current.reset(gst_ghost_pad_get_target(GST_GHOST_PAD(current.get())));
    return current;
}

// The pad that feeds the sink pad `pad`. An element inside a bin may be fed by the bin's ghost
// pad, whose own feed lies outside the bin. Null when nothing feeds it.
GstPointer<GstPad> feedingPad(GstPad* pad) {
    GstPointer<GstPad> peer(gst_pad_get_peer(pad));
    // A ghost pad's inner side is a proxy pad that is no ghost pad itself.
    while (peer && GST_IS_PROXY_PAD(peer.get()) && !GST_IS_GHOST_PAD(peer.get())) {
        GstPointer<GstProxyPad> ghost(gst_proxy_pad_get_internal(GST_PROXY_PAD(peer.get())));
        peer.reset(ghost ? gst_pad_get_peer(GST_PAD(ghost.get())) : nullptr);
    }
    return peer;
}

bool decodedUpstreamOf(GstPad* pad, int steps) {
    if (steps > kMaxUpstreamSteps)
        return false;
    const GstPointer<GstPad> making = makingPad(pad);
    GstPointer<GstElement> element(making ? gst_pad_get_parent_element(making.get()) : nullptr);
    if (!element)
        return false;
    if (decodes(element.get()))
        return true;
    bool decoded = false;
    const GstPointer<GstIterator> inputs(gst_element_iterate_sink_pads(element.get()));
    GValue item = G_VALUE_INIT;
    while (!decoded && gst_iterator_next(inputs.get(), &item) == GST_ITERATOR_OK) {
        const GstPointer<GstPad> feeding = feedingPad(GST_PAD(g_value_get_object(&item)));
        decoded = feeding && decodedUpstreamOf(feeding.get(), steps + 1);
        g_value_reset(&item);
    }
    g_value_unset(&item);
    return decoded;
}

}  // namespace

bool decodedFromStream(GstPad* pad) {
    return decodedUpstreamOf(pad, 0);
}

std::vector<CameraFormat> offeredFormats(const GstCaps* caps) {
    std::vector<CameraFormat> formats;
    if (!caps || gst_caps_is_any(caps))
        return formats;
    for (guint i = 0; i < gst_caps_get_size(caps); ++i) {
        const GstStructure* structure = gst_caps_get_structure(caps, i);
        if (!gst_structure_has_name(structure, "video/x-raw") &&
            !gst_structure_has_name(structure, "image/jpeg")) {
            continue;
        }
        const auto frameRates = rates(gst_structure_get_value(structure, "framerate"));
        for (const auto& [width, height] : sizes(gst_structure_get_value(structure, "width"),
                                                 gst_structure_get_value(structure, "height"))) {
            for (const auto& [numerator, denominator] : frameRates)
                formats.push_back({width, height, numerator, denominator});
        }
    }
    std::sort(formats.begin(), formats.end(), [](const CameraFormat& a, const CameraFormat& b) {
        const long areaA = long(a.width) * a.height;
        const long areaB = long(b.width) * b.height;
        if (areaA != areaB)
            return areaA < areaB;
        if (a.width != b.width)
            return a.width < b.width;
        return a.framesPerSecond() > b.framesPerSecond();
    });
    formats.erase(std::unique(formats.begin(), formats.end()), formats.end());
    return formats;
}
