// Clips recorded from a running camera into real AVI files, read back by GStreamer's
// discoverer; recordings that fail at once or halfway; a clip cut short at program end or by
// whatever else stops the camera's pipeline; the encoder a clip's compression asks for.

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <QtCore/qtestsupport_core.h>
#include <QSignalSpy>

#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <string>

#include "../support/testfootage.h"
#include "clipfixture.h"
#include "media/camera.h"
#include "media/camerasources.h"
#include "media/clipparts.h"

namespace {

class ClipRecording : public ClipFixture {};

// The quality runs from 1 (smallest) to 100 (best): for MPEG-4 the quantizer from 31 to 2, for
// Motion-JPEG the encoder's own quality; values outside are taken as the nearest end.
TEST(ClipEncoder, QualityEndsMapToTheEncodersEnds) {
    EXPECT_EQ(encoderDescription({ClipCodec::Mpeg4, 100}), "avenc_mpeg4 pass=quant quantizer=2");
    EXPECT_EQ(encoderDescription({ClipCodec::Mpeg4, 1}), "avenc_mpeg4 pass=quant quantizer=31");
    EXPECT_EQ(encoderDescription({ClipCodec::Mpeg4, 250}), "avenc_mpeg4 pass=quant quantizer=2");
    EXPECT_EQ(encoderDescription({ClipCodec::MotionJpeg, 85}), "jpegenc quality=85");
    EXPECT_EQ(encoderDescription({ClipCodec::MotionJpeg, 0}), "jpegenc quality=1");
}

TEST_F(ClipRecording, DemoClipHasItsLengthPictureAndSound) {
    connect({"demo", ""});
    const auto path = folder / "Video_Sentello_20110304211503.avi";
    EXPECT_EQ(record({path, 3, true, {}}), (QList<int>{kCaptureBegins, kCaptureEnds}));
    EXPECT_TRUE(lastText.isEmpty()) << lastText.toStdString();
    const auto facts = discover(path);
    ASSERT_TRUE(facts);
    EXPECT_EQ(facts->container, "video/x-msvideo");
    EXPECT_EQ(facts->width, 640);
    EXPECT_EQ(facts->height, 480);
    EXPECT_TRUE(facts->hasSound);
    EXPECT_NEAR(facts->seconds, 3.0, 0.3);
    EXPECT_TRUE(stillDelivering());
}

// The pictures a clip's file holds.
int picturesInClip(const std::filesystem::path& path) {
    int pictures = 0;
    eachDecoded(path, "avidemux name=demux demux.video_0",
                [&](GstSample*, const GstMapInfo&) { ++pictures; });
    return pictures;
}

// A clip of five seconds at 25 pictures a second holds 125 pictures, whatever the clock says of
// the moment the 126th arrived; the demo camera's sound does not lengthen it either.
TEST_F(ClipRecording, ClipHoldsItsLengthInPicturesNotOneMore) {
    for (const CameraSource& source : {kTestPattern, CameraSource{"demo", ""}}) {
        connect(source);
        for (int clip = 0; clip < 2; ++clip) {
            const auto path = folder / ("clip" + std::to_string(clip) + ".avi");
            EXPECT_EQ(record({path, 5, source.isDemo(), {}}),
                      (QList<int>{kCaptureBegins, kCaptureEnds}));
            EXPECT_EQ(picturesInClip(path), 125) << source.name << ", clip " << clip;
        }
    }
}

TEST_F(ClipRecording, PictureGoesOnWhileAClipIsWritten) {
    connect(kTestPattern);
    QSignalSpy statuses(&camera, &Camera::captureStatus);
    camera.startRecording({folder / "clip.avi", 4, false, {}});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !statuses.isEmpty(); }, kClipEndTimeoutMs));
    EXPECT_EQ(statuses.first().at(0).toInt(), kCaptureBegins);
    EXPECT_TRUE(camera.recording());
    EXPECT_TRUE(stillDelivering());
    waitForEnd(statuses);
    EXPECT_FALSE(camera.recording());
}

// Asked for, a clip is cut into parts while it is recorded, each of them told once it is whole:
// each plays alone, the last comes with the clip's end, and together they hold the clip.
TEST_F(ClipRecording, PartsOfAClipComeWhileItIsRecordedAndAddUpToIt) {
    connect(kTestPattern);
    std::filesystem::create_directory(folder / "parts");
    camera.setClipParts((folder / "parts").string() + "/");
    QSignalSpy parts(&camera, &Camera::clipPartWritten);
    const auto path = folder / "clip.avi";
    QSignalSpy statuses(&camera, &Camera::captureStatus);
    camera.startRecording({path, 10, false, {ClipCodec::Mpeg4, 60}});
    // The first part comes while the clip is still recorded.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !parts.isEmpty(); }, kClipEndTimeoutMs));
    EXPECT_TRUE(camera.recording());
    waitForEnd(statuses);
    ASSERT_TRUE(QTest::qWaitFor([&] { return parts.last().at(3).toBool(); }, kClipEndTimeoutMs));
    ASSERT_GE(parts.size(), 2);
    int pictures = 0;
    for (int index = 0; index < parts.size(); ++index) {
        const QList<QVariant>& part = parts.at(index);
        const std::filesystem::path partPath = part.at(1).toString().toStdString();
        SCOPED_TRACE(partPath.string());
        EXPECT_EQ(part.at(0).toString().toStdString(), path.string());
        EXPECT_EQ(partPath.parent_path(), folder / "parts");
        EXPECT_EQ(part.at(2).toInt(), index + 1);
        EXPECT_EQ(part.at(3).toBool(), index + 1 == parts.size());
        const int inPart = picturesInClip(partPath);
        EXPECT_GT(inPart, 0);
        pictures += inPart;
    }
    EXPECT_EQ(pictures, picturesInClip(path));
}

TEST_F(ClipRecording, TwoClipsInARowAreBothWhole) {
    connect(kTestPattern);
    for (const char* name : {"first clip.avi", "second clip.avi"}) {
        EXPECT_EQ(record({folder / name, 2, false, {}}),
                  (QList<int>{kCaptureBegins, kCaptureEnds}));
        const auto facts = discover(folder / name);
        ASSERT_TRUE(facts) << name;
        EXPECT_EQ(facts->width, 320);
        EXPECT_NEAR(facts->seconds, 2.0, 0.3);
        EXPECT_FALSE(facts->hasSound);
    }
}

TEST_F(ClipRecording, Mpeg4ClipsOpen) {
    connect(kTestPattern);
    const auto path = folder / "clip.avi";
    EXPECT_EQ(record({path, 2, false, {ClipCodec::Mpeg4, 60}}),
              (QList<int>{kCaptureBegins, kCaptureEnds}));
    const auto facts = discover(path);
    ASSERT_TRUE(facts);
    EXPECT_NEAR(facts->seconds, 2.0, 0.3);
}

TEST_F(ClipRecording, UnwritableFolderEndsAtOnceAndTheCameraGoesOn) {
    connect(kTestPattern);
    const auto path = folder / "missing" / "clip.avi";
    EXPECT_EQ(record({path, 3, false, {}}), QList<int>{kCaptureEnds});
    EXPECT_FALSE(lastText.isEmpty());
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(camera.recording());
    EXPECT_TRUE(stillDelivering());
    // The next clip is not hindered by the failed one.
    EXPECT_EQ(record({folder / "next.avi", 2, false, {}}),
              (QList<int>{kCaptureBegins, kCaptureEnds}));
    EXPECT_TRUE(discover(folder / "next.avi"));
}

// A full disk: writing stops halfway through the clip, which keeps what was written, told as
// cut short.
TEST_F(ClipRecording, FullDiskEndsTheClipAndKeepsWhatWasWritten) {
    connect(kTestPattern);
    const auto path = folder / "clip.avi";
    rlimit before{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto previousHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit small = before;
    small.rlim_cur = 512 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const QList<int> statuses = record({path, 30, false, {}});
    setrlimit(RLIMIT_FSIZE, &before);
    signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(statuses, (QList<int>{kCaptureBegins, kCaptureEnds}));
    EXPECT_EQ(lastText.left(10), "cut short:") << lastText.toStdString();
    ASSERT_TRUE(std::filesystem::exists(path));
    EXPECT_GT(picturesInClip(path), 10);
    EXPECT_TRUE(stillDelivering());
}

TEST_F(ClipRecording, ProgramEndFinishesTheClipFirst) {
    connect({"demo", ""});
    const auto path = folder / "clip.avi";
    QSignalSpy statuses(&camera, &Camera::captureStatus);
    camera.startRecording({path, 60, true, {}});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !statuses.isEmpty(); }, kClipEndTimeoutMs));
    // Some pictures in the file before the program ends.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            std::error_code error;
            return std::filesystem::file_size(path, error) > 200 * 1024 && !error;
        },
        kClipEndTimeoutMs));
    camera.disconnectSource();
    ASSERT_EQ(statuses.size(), 2);
    EXPECT_EQ(statuses.last().at(0).toInt(), kCaptureEnds);
    EXPECT_TRUE(statuses.last().at(1).toString().isEmpty());
    const auto facts = discover(path);
    ASSERT_TRUE(facts);
    EXPECT_GT(facts->seconds, 0.5);
    EXPECT_LT(facts->seconds, 30.0);
    EXPECT_TRUE(facts->hasSound);
}

// Waits until the clip under way has begun and holds some pictures.
void waitForClipData(QSignalSpy& statuses, const std::filesystem::path& path) {
    ASSERT_TRUE(QTest::qWaitFor([&] { return !statuses.isEmpty(); }, kClipEndTimeoutMs));
    ASSERT_EQ(statuses.first().at(0).toInt(), kCaptureBegins);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            std::error_code error;
            return std::filesystem::file_size(path, error) > 100 * 1024 && !error;
        },
        kClipEndTimeoutMs));
}

// Whatever stops the camera's pipeline finishes the clip under way first: it ends as a whole
// clip, never cut off or left without its end.
TEST_F(ClipRecording, ChangingTheFormatFinishesTheClipFirst) {
    connect({"test", "videotestsrc is-live=true pattern=ball", {}});
    const auto path = folder / "clip.avi";
    QSignalSpy statuses(&camera, &Camera::captureStatus);
    camera.startRecording({path, 60, false, {}});
    ASSERT_NO_FATAL_FAILURE(waitForClipData(statuses, path));
    ASSERT_TRUE(camera.changeFormat({160, 120, 15, 1}));
    ASSERT_EQ(statuses.size(), 2);
    EXPECT_EQ(statuses.last().at(0).toInt(), kCaptureEnds);
    EXPECT_TRUE(statuses.last().at(1).toString().isEmpty())
        << statuses.last().at(1).toString().toStdString();
    EXPECT_FALSE(camera.recording());
    const auto facts = discover(path);
    ASSERT_TRUE(facts);
    EXPECT_EQ(facts->width, 320);
    EXPECT_GT(picturesInClip(path), 10);
    EXPECT_TRUE(stillDelivering());
}

TEST_F(ClipRecording, ConnectingAnotherSourceFinishesTheClipFirst) {
    connect({"demo", ""});
    const auto path = folder / "clip.avi";
    QSignalSpy statuses(&camera, &Camera::captureStatus);
    camera.startRecording({path, 60, true, {}});
    ASSERT_NO_FATAL_FAILURE(waitForClipData(statuses, path));
    connect(kTestPattern);
    ASSERT_EQ(statuses.size(), 2);
    EXPECT_EQ(statuses.last().at(0).toInt(), kCaptureEnds);
    EXPECT_TRUE(statuses.last().at(1).toString().isEmpty())
        << statuses.last().at(1).toString().toStdString();
    const auto facts = discover(path);
    ASSERT_TRUE(facts);
    EXPECT_EQ(facts->width, 640);
    EXPECT_TRUE(facts->hasSound);
    EXPECT_GT(picturesInClip(path), 10);
}

// A camera that fails while a clip is recorded is reconnected, and only once the clip is
// finished with the pictures it had.
TEST_F(ClipRecording, AReconnectionFinishesTheClipFirst) {
    connect({"failing",
             "videotestsrc pattern=ball ! video/x-raw,width=320,height=240,framerate=25/1"
             " ! identity error-after=100",
             {}});
    const auto path = folder / "clip.avi";
    QSignalSpy statuses(&camera, &Camera::captureStatus);
    QSignalSpy lost(&camera, &Camera::deliveryStopped);
    camera.startRecording({path, 60, false, {}});
    waitForEnd(statuses);
    ASSERT_EQ(statuses.size(), 2);
    EXPECT_EQ(statuses.first().at(0).toInt(), kCaptureBegins);
    EXPECT_EQ(statuses.last().at(0).toInt(), kCaptureEnds);
    EXPECT_TRUE(statuses.last().at(1).toString().isEmpty())
        << statuses.last().at(1).toString().toStdString();
    EXPECT_TRUE(lost.isEmpty()) << "reconnected before the clip was finished";
    const auto facts = discover(path);
    ASSERT_TRUE(facts);
    EXPECT_EQ(facts->width, 320);
    EXPECT_GT(picturesInClip(path), 10);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !lost.isEmpty(); }, kClipEndTimeoutMs));
    EXPECT_TRUE(stillDelivering());
}

// Recorded footage given as the camera is replayed from its start again and again; a clip
// longer than the footage goes on across the replays.
TEST_F(ClipRecording, ClipOfReplayedFootageSpansItsReplays) {
    const auto footage = folder / "footage.avi";
    GError* error = nullptr;
    GstElement* writer = gst_parse_launch(
        "videotestsrc num-buffers=15 pattern=ball ! video/x-raw,width=160,height=120,"
        "framerate=15/1 ! jpegenc ! avimux ! filesink name=out",
        &error);
    ASSERT_EQ(error, nullptr);
    GstElement* out = gst_bin_get_by_name(GST_BIN(writer), "out");
    g_object_set(out, "location", footage.c_str(), nullptr);
    gst_object_unref(out);
    gst_element_set_state(writer, GST_STATE_PLAYING);
    GstBus* bus = gst_element_get_bus(writer);
    GstMessage* done = gst_bus_timed_pop_filtered(
        bus, 30 * GST_SECOND, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    ASSERT_NE(done, nullptr);
    EXPECT_EQ(GST_MESSAGE_TYPE(done), GST_MESSAGE_EOS);
    gst_message_unref(done);
    gst_object_unref(bus);
    gst_element_set_state(writer, GST_STATE_NULL);
    gst_object_unref(writer);

    connect(sourceGiven(footage));
    const auto path = folder / "clip.avi";
    EXPECT_EQ(record({path, 3, false, {}}), (QList<int>{kCaptureBegins, kCaptureEnds}));
    EXPECT_TRUE(lastText.isEmpty()) << lastText.toStdString();
    const auto facts = discover(path);
    ASSERT_TRUE(facts);
    EXPECT_EQ(facts->width, 160);
    EXPECT_NEAR(facts->seconds, 3.0, 0.3);
    EXPECT_TRUE(stillDelivering());
}

// A camera that delivers a picture every two seconds: the clip ends with the first picture
// past its length and holds what came.
TEST_F(ClipRecording, SlowCameraStillGivesAClip) {
    connect({"slow", "videotestsrc ! video/x-raw,width=160,height=120,framerate=1/2", {}});
    const auto path = folder / "clip.avi";
    EXPECT_EQ(record({path, 2, false, {}}), (QList<int>{kCaptureBegins, kCaptureEnds}));
    EXPECT_TRUE(lastText.isEmpty()) << lastText.toStdString();
    EXPECT_TRUE(discover(path));
}

// A clip without a single picture is no clip: it fails and leaves no file.
TEST_F(ClipRecording, NoPictureDuringTheClipLeavesNoFile) {
    connect({"stalled", "videotestsrc ! video/x-raw,width=160,height=120,framerate=1/60", {}});
    const auto path = folder / "clip.avi";
    EXPECT_EQ(record({path, 2, false, {}}), QList<int>{kCaptureEnds});
    EXPECT_FALSE(lastText.isEmpty());
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(ClipRecording, NoCameraPictureNoClip) {
    const auto path = folder / "clip.avi";
    EXPECT_EQ(record({path, 3, false, {}}), QList<int>{kCaptureEnds});
    EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
