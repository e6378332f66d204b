// What videoconvert spends on each camera picture the BGRx runs are made from: its converter,
// as the element sets it up, turning a pool of I420 pictures into BGRx pictures, beside the
// detection runs that take the same I420 pictures as they are.

#include <benchmark/benchmark.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "cachesize.h"
#include "picturepool.h"

namespace {

struct BufferUnref {
    void operator()(GstBuffer* buffer) const { gst_buffer_unref(buffer); }
};
using BufferPointer = std::unique_ptr<GstBuffer, BufferUnref>;

void VideoconvertI420ToBgrx(benchmark::State& state) {
    gst_init(nullptr, nullptr);
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    PicturePool pool(width, height, PixelLayout::I420);
    GstVideoInfo in;
    GstVideoInfo out;
    gst_video_info_set_format(&in, GST_VIDEO_FORMAT_I420, width, height);
    gst_video_colorimetry_from_string(&in.colorimetry, "1:4:0:0");
    gst_video_info_set_format(&out, GST_VIDEO_FORMAT_BGRx, width, height);
    out.colorimetry = in.colorimetry;
    // The element's one thread; its other options do not touch this conversion.
    GstVideoConverter* converter = gst_video_converter_new(
        &in, &out,
        gst_structure_new("options", GST_VIDEO_CONVERTER_OPT_THREADS, G_TYPE_UINT, 1u, nullptr));

    // Each picture written to its own memory, as the element's buffer pool does.
    const std::size_t count =
        std::max<std::size_t>(2, 2 * largestCacheBytes() / GST_VIDEO_INFO_SIZE(&out) + 1);
    std::vector<BufferPointer> targets;
    for (std::size_t i = 0; i < count; ++i)
        targets.emplace_back(gst_buffer_new_allocate(nullptr, GST_VIDEO_INFO_SIZE(&out), nullptr));
    std::vector<BufferPointer> sources;
    for (std::size_t i = 0; i < pool.size(); ++i) {
        auto* pixels = const_cast<std::uint8_t*>(pool.next().pixels);
        sources.emplace_back(
            gst_buffer_new_wrapped_full(GST_MEMORY_FLAG_READONLY, pixels, GST_VIDEO_INFO_SIZE(&in),
                                        0, GST_VIDEO_INFO_SIZE(&in), nullptr, nullptr));
    }

    std::size_t next = 0;
    for (auto _ : state) {
        GstVideoFrame source;
        GstVideoFrame target;
        gst_video_frame_map(&source, &in, sources[next % sources.size()].get(), GST_MAP_READ);
        gst_video_frame_map(&target, &out, targets[next % targets.size()].get(), GST_MAP_WRITE);
        gst_video_converter_frame(converter, &source, &target);
        gst_video_frame_unmap(&target);
        gst_video_frame_unmap(&source);
        ++next;
    }
    gst_video_converter_free(converter);
}

}  // namespace

BENCHMARK(VideoconvertI420ToBgrx)
    ->Args({640, 480})
    ->Args({1280, 720})
    ->Args({1920, 1080})
    ->Unit(benchmark::kMicrosecond);
