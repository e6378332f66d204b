// The detection's own conversion of I420 and RGB pictures against videoconvert's, run
// in-process on the same pictures: the working frame of the picture must be that of
// videoconvert's BGRx picture, and the whole-picture conversion must be its bytes. And the
// camera's pipeline hands over I420 or RGB only where that conversion is exact.

#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>
#include <gst/video/video.h>
#include <gtest/gtest.h>

#include <QtCore/qtestsupport_core.h>
#include <QTemporaryDir>

#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "detection/workframe.h"
#include "detection/yuvconversion.h"
#include "media/camera.h"
#include "media/camerasources.h"
#include "media/gstpointer.h"
#include "media/pictureformat.h"

namespace {

struct ColourSet {
    const char* colorimetry;
    YuvColours colours;
};

const ColourSet kColourSets[] = {{"1:4:0:0", YuvColours::Bt601Full},
                                 {"bt601", YuvColours::Bt601Limited},
                                 {"bt709", YuvColours::Bt709Limited}};

enum class Content { Noise, Gradients, Saturated };

// An I420 picture laid out as GStreamer lays it out for its caps.
struct I420Picture {
    GstVideoInfo info{};
    std::vector<std::uint8_t> bytes;

    I420Picture(int width, int height, const ColourSet& set, Content content) {
        gst_video_info_set_format(&info, GST_VIDEO_FORMAT_I420, width, height);
        gst_video_colorimetry_from_string(&info.colorimetry, set.colorimetry);
        bytes.resize(GST_VIDEO_INFO_SIZE(&info));
        std::mt19937 random(static_cast<unsigned>(width * 31 + height));
        // Saturated: the extremes of every plane and the limited range's ends, in blocks.
        const std::uint8_t extremes[] = {0, 16, 235, 240, 255, 128};
        for (int plane = 0; plane < 3; ++plane) {
            const int planeWidth = GST_VIDEO_INFO_COMP_WIDTH(&info, plane);
            const int planeHeight = GST_VIDEO_INFO_COMP_HEIGHT(&info, plane);
            for (int y = 0; y < planeHeight; ++y) {
                std::uint8_t* row = plane_(plane) + y * GST_VIDEO_INFO_PLANE_STRIDE(&info, plane);
                for (int x = 0; x < planeWidth; ++x) {
                    switch (content) {
                        case Content::Noise:
                            row[x] = static_cast<std::uint8_t>(random());
                            break;
                        case Content::Gradients:
                            row[x] = static_cast<std::uint8_t>(
                                plane == 0 ? x * 255 / planeWidth
                                           : (plane == 1 ? y : x + y) * 255 / planeHeight);
                            break;
                        case Content::Saturated:
                            row[x] = extremes[(x / 3 + y / 2 * (plane + 1)) % 6];
                            break;
                    }
                }
            }
        }
    }

    std::uint8_t* plane_(int plane) {
        return bytes.data() + GST_VIDEO_INFO_PLANE_OFFSET(&info, plane);
    }
    const std::uint8_t* plane(int plane) const {
        return bytes.data() + GST_VIDEO_INFO_PLANE_OFFSET(&info, plane);
    }

    FrameView view(YuvColours colours) const {
        FrameView view;
        view.pixels = plane(0);
        view.width = GST_VIDEO_INFO_WIDTH(&info);
        view.height = GST_VIDEO_INFO_HEIGHT(&info);
        view.stride = GST_VIDEO_INFO_PLANE_STRIDE(&info, 0);
        view.layout = PixelLayout::I420;
        view.uPlane = plane(1);
        view.vPlane = plane(2);
        view.uStride = GST_VIDEO_INFO_PLANE_STRIDE(&info, 1);
        view.vStride = GST_VIDEO_INFO_PLANE_STRIDE(&info, 2);
        view.colours = colours;
        return view;
    }
};

// Packed red, green, blue rows, each padded to 4 bytes as GStreamer lays them out.
struct RgbPicture {
    GstVideoInfo info{};
    std::vector<std::uint8_t> bytes;

    RgbPicture(int width, int height, Content content) {
        gst_video_info_set_format(&info, GST_VIDEO_FORMAT_RGB, width, height);
        bytes.resize(GST_VIDEO_INFO_SIZE(&info));
        std::mt19937 random(static_cast<unsigned>(width * 17 + height));
        const std::uint8_t extremes[] = {0, 1, 127, 128, 254, 255};
        const int stride = GST_VIDEO_INFO_PLANE_STRIDE(&info, 0);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width * 3; ++x) {
                std::uint8_t& byte = bytes[static_cast<std::size_t>(y) * stride + x];
                switch (content) {
                    case Content::Noise:
                        byte = static_cast<std::uint8_t>(random());
                        break;
                    case Content::Gradients:
                        byte = static_cast<std::uint8_t>(
                            x % 3 == 0 ? x * 85 / width : (x % 3 == 1 ? y * 255 / height : x + y));
                        break;
                    case Content::Saturated:
                        byte = extremes[(x / 2 + y) % 6];
                        break;
                }
            }
        }
    }

    FrameView view() const {
        FrameView view;
        view.pixels = bytes.data();
        view.width = GST_VIDEO_INFO_WIDTH(&info);
        view.height = GST_VIDEO_INFO_HEIGHT(&info);
        view.stride = GST_VIDEO_INFO_PLANE_STRIDE(&info, 0);
        view.layout = PixelLayout::Rgb;
        return view;
    }
};

// What videoconvert makes of the picture: packed BGRx rows.
std::vector<std::uint8_t> videoconvertBgrx(const GstVideoInfo& pictureInfo,
                                           const std::vector<std::uint8_t>& bytes) {
    gst_init(nullptr, nullptr);
    const GstPointer<GstCaps> caps(gst_video_info_to_caps(&pictureInfo));
    gst_caps_set_simple(caps.get(), "framerate", GST_TYPE_FRACTION, 1, 1, nullptr);
    GError* error = nullptr;
    const PipelinePointer pipeline(gst_parse_launch(
        "appsrc name=in format=time ! videoconvert ! video/x-raw,format=BGRx ! appsink name=out",
        &error));
    EXPECT_FALSE(error);
    if (error)
        g_error_free(error);
    const GstPointer<GstElement> in(gst_bin_get_by_name(GST_BIN(pipeline.get()), "in"));
    const GstPointer<GstElement> out(gst_bin_get_by_name(GST_BIN(pipeline.get()), "out"));
    g_object_set(in.get(), "caps", caps.get(), nullptr);
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    GstBuffer* buffer = gst_buffer_new_memdup(bytes.data(), bytes.size());
    GST_BUFFER_PTS(buffer) = 0;
    gst_app_src_push_buffer(GST_APP_SRC(in.get()), buffer);
    gst_app_src_end_of_stream(GST_APP_SRC(in.get()));
    // Returns at the latest with the end of the stream.
    const GstPointer<GstSample> sample(gst_app_sink_pull_sample(GST_APP_SINK(out.get())));
    std::vector<std::uint8_t> bgrx;
    if (!sample) {
        ADD_FAILURE() << "videoconvert gave no picture";
        return bgrx;
    }
    GstVideoInfo info;
    EXPECT_TRUE(gst_video_info_from_caps(&info, gst_sample_get_caps(sample.get())));
    GstVideoFrame frame;
    EXPECT_TRUE(
        gst_video_frame_map(&frame, &info, gst_sample_get_buffer(sample.get()), GST_MAP_READ));
    const int width = GST_VIDEO_FRAME_WIDTH(&frame);
    for (int y = 0; y < GST_VIDEO_FRAME_HEIGHT(&frame); ++y) {
        const auto* row = static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)) +
                          y * GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0);
        bgrx.insert(bgrx.end(), row, row + width * 4);
    }
    gst_video_frame_unmap(&frame);
    return bgrx;
}

using Variant = void (*)(const FrameView&, bool, int, WorkFrame&);

struct Size {
    int width;
    int height;
};

// The picture converted whole is videoconvert's BGRx picture, and every variant makes the same
// working frame of it as of that BGRx picture.
void expectSameAsVideoconvert(const FrameView& picture, const std::vector<std::uint8_t>& expected) {
    ASSERT_EQ(expected.size(), static_cast<std::size_t>(picture.width) * picture.height * 4);
    std::vector<std::uint8_t> converted(expected.size());
    convertToBgrx(picture, converted.data(), picture.width * 4);
    EXPECT_TRUE(converted == expected) << "the whole picture differs from videoconvert's";

    FrameView bgrx;
    bgrx.pixels = expected.data();
    bgrx.width = picture.width;
    bgrx.height = picture.height;
    bgrx.stride = picture.width * 4;
    std::vector<Variant> variants{makeWorkFramePortable};
    if (cpuHasAvx2())
        variants.push_back(makeWorkFrameAvx2);
    for (const Variant variant : variants) {
        for (const bool mirror : {false, true}) {
            for (const int brightness : {0, 90, 128, 201, 255}) {
                WorkFrame fromOwn;
                WorkFrame fromBgrx;
                variant(picture, mirror, brightness, fromOwn);
                variant(bgrx, mirror, brightness, fromBgrx);
                ASSERT_TRUE(fromOwn.halfSize == fromBgrx.halfSize)
                    << "half-size copy, mirror " << mirror << ", brightness " << brightness;
                ASSERT_TRUE(fromOwn.averages == fromBgrx.averages)
                    << "block averages, mirror " << mirror << ", brightness " << brightness;
            }
        }
    }
}

class AgainstVideoconvert : public testing::TestWithParam<std::tuple<ColourSet, Size, Content>> {};

TEST_P(AgainstVideoconvert, SameWorkFrameAndSameWholePicture) {
    const auto& [set, size, content] = GetParam();
    const I420Picture picture(size.width, size.height, set, content);
    expectSameAsVideoconvert(picture.view(set.colours),
                             videoconvertBgrx(picture.info, picture.bytes));
}

class RgbAgainstVideoconvert : public testing::TestWithParam<std::tuple<Size, Content>> {};

TEST_P(RgbAgainstVideoconvert, SameWorkFrameAndSameWholePicture) {
    const auto& [size, content] = GetParam();
    const RgbPicture picture(size.width, size.height, content);
    expectSameAsVideoconvert(picture.view(), videoconvertBgrx(picture.info, picture.bytes));
}

// Rows of 3 bytes a pixel end within a load for odd widths; 5 is narrower than the gathers
// take, 6 the narrowest they do.
INSTANTIATE_TEST_SUITE_P(
    SizesContent, RgbAgainstVideoconvert,
    testing::Combine(testing::Values(Size{640, 480}, Size{642, 362}, Size{1280, 720},
                                     Size{1920, 1080}, Size{333, 251}, Size{6, 4}, Size{5, 3}),
                     testing::Values(Content::Noise, Content::Gradients, Content::Saturated)));

INSTANTIATE_TEST_SUITE_P(
    ColoursSizesContent, AgainstVideoconvert,
    testing::Combine(testing::ValuesIn(kColourSets),
                     testing::Values(Size{640, 480}, Size{642, 362}, Size{1280, 720},
                                     Size{1920, 1080}, Size{160, 120}, Size{333, 251}, Size{32, 24},
                                     Size{30, 22}),
                     testing::Values(Content::Noise, Content::Gradients, Content::Saturated)));

class CameraPictureFormat : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(loadCaptureLibrary()); }
};

// The format the camera hands over for a test source's pictures.
std::optional<PixelLayout> cameraLayout(const std::string& description) {
    Camera camera;
    if (!camera.connectSource({"Test", description}))
        return std::nullopt;
    const std::optional<CameraFrame> frame = camera.grabFrame();
    if (!frame)
        return std::nullopt;
    return frame->view.layout;
}

TEST_F(CameraPictureFormat, ExactlyConvertibleI420StaysI420) {
    if (!cpuHasAvx2())
        GTEST_SKIP() << "without AVX2 every picture is converted whole";
    for (const char* colorimetry : {"1:4:0:0", "bt601", "bt709"}) {
        EXPECT_EQ(cameraLayout(std::string("videotestsrc ! video/x-raw,format=I420,width=320,"
                                           "height=240,colorimetry=") +
                               colorimetry),
                  PixelLayout::I420)
            << colorimetry;
    }
}

// An RGB-coded JPEG, as jpegdec hands it over, and packed RGB from any other source.
TEST_F(CameraPictureFormat, RgbStaysRgb) {
    if (!cpuHasAvx2())
        GTEST_SKIP() << "without AVX2 every picture is converted whole";
    for (const char* description :
         {"videotestsrc ! video/x-raw,format=RGB,width=320,height=240 ! jpegenc ! jpegdec",
          "videotestsrc ! video/x-raw,format=RGB,width=333,height=240"}) {
        EXPECT_EQ(cameraLayout(description), PixelLayout::Rgb) << description;
    }
}

TEST_F(CameraPictureFormat, OtherFormatsAndColoursBecomeBgrx) {
    for (const char* caps :
         {"format=YUY2,width=320,height=240", "format=I420,width=320,height=240,colorimetry=bt2020",
          "format=Y42B,width=320,height=240", "format=BGR,width=320,height=240",
          "format=RGB,width=320,height=240,interlace-mode=interleaved",
          "format=I420,width=320,height=240,"
          "interlace-mode=interleaved"}) {
        EXPECT_EQ(cameraLayout(std::string("videotestsrc ! video/x-raw,") + caps),
                  PixelLayout::Bgrx)
            << caps;
    }
}

// The picture a YUY2 camera delivers is converted from YUY2, as before: the same bytes as
// videoconvert's BGRx of the same YUY2 pictures, not of an I420 made between.
TEST_F(CameraPictureFormat, Yuy2PictureIsVideoconvertsBgrxOfIt) {
    Camera camera;
    ASSERT_TRUE(camera.connectSource(
        {"Test", "videotestsrc pattern=smpte ! video/x-raw,format=YUY2,width=320,height=240"}));
    const std::optional<CameraFrame> frame = camera.grabFrame();
    ASSERT_TRUE(frame);
    ASSERT_EQ(frame->view.layout, PixelLayout::Bgrx);

    GError* error = nullptr;
    const PipelinePointer reference(gst_parse_launch(
        "videotestsrc pattern=smpte num-buffers=1 ! video/x-raw,format=YUY2,width=320,height=240"
        " ! videoconvert ! video/x-raw,format=BGRx ! appsink name=out",
        &error));
    ASSERT_FALSE(error);
    const GstPointer<GstElement> out(gst_bin_get_by_name(GST_BIN(reference.get()), "out"));
    gst_element_set_state(reference.get(), GST_STATE_PLAYING);
    const GstPointer<GstSample> sample(gst_app_sink_pull_sample(GST_APP_SINK(out.get())));
    ASSERT_TRUE(sample);
    GstMapInfo map;
    GstBuffer* buffer = gst_sample_get_buffer(sample.get());
    ASSERT_TRUE(gst_buffer_map(buffer, &map, GST_MAP_READ));
    int differing = 0;
    for (int y = 0; y < 240; ++y) {
        differing += std::memcmp(frame->view.pixels + y * frame->view.stride,
                                 map.data + y * 320 * 4, 320 * 4) != 0;
    }
    gst_buffer_unmap(buffer, &map);
    EXPECT_EQ(differing, 0) << "rows differ from videoconvert's YUY2 to BGRx";
}

// Encodes one picture of videotestsrc's pattern, in the raw format given, to a JPEG file.
void writeJpeg(const std::string& pattern, const std::string& format, const std::string& path) {
    GError* error = nullptr;
    const PipelinePointer writer(
        gst_parse_launch(("videotestsrc num-buffers=1 pattern=" + pattern + " ! video/x-raw," +
                          format + " ! jpegenc ! filesink location=" + path)
                             .c_str(),
                         &error));
    ASSERT_FALSE(error) << error->message;
    gst_element_set_state(writer.get(), GST_STATE_PLAYING);
    const GstPointer<GstBus> bus(gst_element_get_bus(writer.get()));
    const GstPointer<GstMessage> end(gst_bus_timed_pop_filtered(
        bus.get(), 10 * GST_SECOND, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
    EXPECT_TRUE(end && GST_MESSAGE_TYPE(end.get()) == GST_MESSAGE_EOS) << path;
    gst_element_set_state(writer.get(), GST_STATE_NULL);
}

// Pixels of the picture that are not clearly of the one colour: the channel (0 blue, 1 green,
// 2 red) high and the others low. JPEG takes a YUV picture's values as full range, so a
// limited-range red is no pure red.
int pixelsNotClearly(const FrameView& picture, int channel) {
    std::vector<std::uint8_t> bgrx(static_cast<std::size_t>(picture.width) * picture.height * 4);
    convertToBgrx(picture, bgrx.data(), picture.width * 4);
    int count = 0;
    for (std::size_t i = 0; i < bgrx.size(); i += 4) {
        for (int c = 0; c < 3; ++c) {
            if (c == channel ? bgrx[i + c] < 200 : bgrx[i + c] > 60) {
                ++count;
                break;
            }
        }
    }
    return count;
}

// A network camera set to another resolution while it streams, here at every picture, from a
// YUV-coded JPEG to an RGB-coded one and back: each picture grabbed is read with its own size
// and format, never with those of the picture before.
TEST_F(CameraPictureFormat, PicturesChangingSizeAndFormatAreEachReadAsTheyAre) {
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    const std::string folder = directory.path().toStdString();
    writeJpeg("red", "format=I420,width=320,height=240", folder + "/0.jpg");
    writeJpeg("blue", "format=RGB,width=160,height=120", folder + "/1.jpg");
    Camera camera;
    ASSERT_TRUE(
        camera.connectSource({"Test", "multifilesrc loop=true location=" + folder +
                                          "/%d.jpg caps=image/jpeg,framerate=30/1 ! jpegdec"}));

    int large = 0;
    int small = 0;
    std::uint64_t lastSequence = 0;
    const bool bothSeen = QTest::qWaitFor(
        [&] {
            const std::optional<CameraFrame> frame = camera.grabFrame();
            if (!frame || frame->sequence == lastSequence)
                return false;
            lastSequence = frame->sequence;
            const FrameView& view = frame->view;
            if (view.width == 320) {
                EXPECT_EQ(view.height, 240);
                EXPECT_EQ(pixelsNotClearly(view, 2), 0) << "the red picture";
                ++large;
            } else {
                EXPECT_EQ(view.width, 160);
                EXPECT_EQ(view.height, 120);
                EXPECT_EQ(pixelsNotClearly(view, 0), 0) << "the blue picture";
                if (cpuHasAvx2()) {
                    EXPECT_EQ(view.layout, PixelLayout::Rgb);
                }
                ++small;
            }
            return large >= 5 && small >= 5;
        },
        30000);
    EXPECT_TRUE(bothSeen) << large << " large and " << small << " small pictures";
}

}  // namespace
