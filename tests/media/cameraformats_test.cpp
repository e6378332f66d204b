// The formats offered in a camera's caps, and the camera held to a chosen format and changed
// through its controls, on real test sources.

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <QtCore/qtestsupport_core.h>
#include <QTemporaryDir>

#include <algorithm>
#include <optional>
#include <vector>

#include "../support/testfootage.h"
#include "media/camera.h"
#include "media/cameracontrols.h"
#include "media/offeredformats.h"

namespace {

std::vector<CameraFormat> offered(const char* capsText) {
    gst_init(nullptr, nullptr);
    GstCaps* caps = gst_caps_from_string(capsText);
    std::vector<CameraFormat> formats = offeredFormats(caps);
    gst_caps_unref(caps);
    return formats;
}

TEST(OfferedFormats, FixedSizesWithTheirRatesSmallestFirst) {
    EXPECT_EQ(offered("image/jpeg,width=1280,height=720,framerate=30/1;"
                      "video/x-raw,format=YUY2,width=640,height=480,framerate={15/1,30/1};"
                      "video/x-raw,format=YUY2,width=1280,height=720,framerate=10/1"),
              (std::vector<CameraFormat>{
                  {640, 480, 30, 1}, {640, 480, 15, 1}, {1280, 720, 30, 1}, {1280, 720, 10, 1}}));
}

TEST(OfferedFormats, RangesGiveTheCommonSizesAndRatesWithin) {
    const auto formats = offered("video/x-raw,width=[1,1280],height=[1,720],framerate=[15/1,25/1]");
    std::vector<CameraFormat> expected;
    for (const auto& [width, height] : std::vector<std::pair<int, int>>{
             {160, 120}, {320, 240}, {640, 480}, {800, 600}, {1280, 720}}) {
        for (int rate : {25, 20, 15})
            expected.push_back({width, height, rate, 1});
    }
    EXPECT_EQ(formats, expected);
}

TEST(OfferedFormats, SameFormatTwiceIsOfferedOnce) {
    EXPECT_EQ(offered("video/x-raw,format=I420,width=320,height=240,framerate=30000/1001;"
                      "video/x-raw,format=YUY2,width=320,height=240,framerate=30000/1001"),
              (std::vector<CameraFormat>{{320, 240, 30000, 1001}}));
}

TEST(OfferedFormats, NothingUsable) {
    EXPECT_TRUE(offered("ANY").empty());
    EXPECT_TRUE(offered("audio/x-raw,rate=44100").empty());
    EXPECT_TRUE(offered("video/x-raw,width=640,height=480").empty());
    EXPECT_TRUE(offered("video/x-raw,width=640,height=480,framerate=0/1").empty());
}

TEST(CameraFormatText, SaysSizeAndRate) {
    EXPECT_EQ(formatText({640, 480, 25, 1}), "640 × 480, 25 Bilder/s");
    EXPECT_EQ(formatText({320, 240, 30000, 1001}), "320 × 240, 29.97 Bilder/s");
}

constexpr int kPictureTimeoutMs = 15000;

// The newest picture's size once the camera delivers one.
std::optional<std::pair<int, int>> pictureSize(Camera& camera) {
    std::optional<std::pair<int, int>> size;
    (void)QTest::qWaitFor(
        [&] {
            const auto frame = camera.grabFrame();
            if (frame)
                size = std::make_pair(frame->view.width, frame->view.height);
            return frame.has_value();
        },
        kPictureTimeoutMs);
    return size;
}

TEST(CameraFormatChoice, ReconnectsWithTheChosenFormat) {
    Camera camera;
    ASSERT_TRUE(camera.connectSource({"test", "videotestsrc is-live=true", {}}));
    const auto formats = camera.offeredFormats();
    const CameraFormat wanted{320, 240, 15, 1};
    EXPECT_NE(std::find(formats.begin(), formats.end(), wanted), formats.end());
    ASSERT_TRUE(camera.changeFormat(wanted));
    EXPECT_EQ(camera.format(), wanted);
    EXPECT_EQ(pictureSize(camera), std::make_pair(320, 240));
}

TEST(CameraFormatChoice, FormatTheSourceCannotDeliverKeepsThePreviousOne) {
    Camera camera;
    ASSERT_TRUE(camera.connectSource(
        {"test", "videotestsrc is-live=true ! video/x-raw,width=160,height=120", {}}));
    EXPECT_EQ(camera.offeredFormats().size(), 8u);  // the eight common rates
    EXPECT_FALSE(camera.changeFormat({640, 480, 30, 1}));
    EXPECT_EQ(camera.format(), std::nullopt);
    EXPECT_EQ(pictureSize(camera), std::make_pair(160, 120));
}

// Footage comes in the size and rate it was recorded in, whatever its decoder could deliver:
// given as a file, and given as a description that decodes it (with a converter after the
// decoder, which passes the size and rate through).
class FootageFormatTest : public ::testing::TestWithParam<const char*> {
protected:
    QTemporaryDir m_directory;
};

TEST_P(FootageFormatTest, OffersOnlyTheFootagesOwnFormat) {
    ASSERT_TRUE(m_directory.isValid());
    const std::string path = m_directory.filePath("footage.avi").toStdString();
    ASSERT_NO_FATAL_FAILURE(writeFootage(path, GetParam()));
    const CameraFormat own{160, 120, 30, 1};
    for (const CameraSource& source :
         {sourceGiven(path),
          CameraSource{
              "described", "filesrc location=\"" + path + "\" ! decodebin ! videoconvert", {}}}) {
        SCOPED_TRACE(source.description);
        Camera camera;
        ASSERT_TRUE(camera.connectSource(source));
        EXPECT_EQ(camera.offeredFormats(), std::vector<CameraFormat>{own});
        EXPECT_EQ(camera.currentFormat(), own);
    }
}

INSTANTIATE_TEST_SUITE_P(Encodings, FootageFormatTest, ::testing::Values("", "jpegenc"),
                         [](const auto& info) { return info.index == 0 ? "Raw" : "Jpeg"; });

TEST(CameraControlsOfASource, BalanceChangesThePictureLive) {
    Camera camera;
    ASSERT_TRUE(camera.connectSource(
        {"grey",
         "videotestsrc is-live=true pattern=solid-color foreground-color=0xff808080"
         " ! video/x-raw,width=64,height=48",
         {}}));
    const auto controls = camera.controls();
    ASSERT_NE(controls, nullptr);
    const std::vector<CameraControl> list = controls->list();
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].name, "Helligkeit");
    EXPECT_EQ(list[0].value, 0);
    EXPECT_EQ(list[1].defaultValue, 100);

    controls->set(0, 50);
    EXPECT_EQ(controls->list()[0].value, 50);
    const bool brighter = QTest::qWaitFor(
        [&] {
            const auto frame = camera.grabFrame();
            return frame && frame->view.pixels[1] > 0xc0;
        },
        kPictureTimeoutMs);
    EXPECT_TRUE(brighter);
}

TEST(CameraControlsOfASource, NoDeviceNoDeviceControls) {
    EXPECT_EQ(deviceControls("/nonexistent/video0"), nullptr);
}

}  // namespace
