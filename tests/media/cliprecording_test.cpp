// Clips recorded from a running camera into real AVI files, read back by GStreamer's
// discoverer; recordings that fail at once or halfway; a clip cut short at program end.

#include <gst/gst.h>
#include <gst/pbutils/pbutils.h>
#include <gtest/gtest.h>

#include <QtCore/qtestsupport_core.h>
#include <QSignalSpy>

#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <optional>
#include <string>

#include "../support/testfootage.h"
#include "../tempfolder.h"
#include "media/camera.h"
#include "media/camerasources.h"

namespace {

// Generous bounds: the sanitizer build on a busy machine is many times slower than normal.
constexpr int kConnectTries = 3;
constexpr int kClipEndTimeoutMs = 60000;

// What GStreamer's discoverer reads from a file.
struct ClipFacts {
    double seconds = 0;
    int width = 0;
    int height = 0;
    bool hasSound = false;
    std::string container;
};

std::optional<ClipFacts> discover(const std::filesystem::path& path) {
    GError* error = nullptr;
    GstDiscoverer* discoverer = gst_discoverer_new(20 * GST_SECOND, &error);
    if (!discoverer) {
        g_clear_error(&error);
        return std::nullopt;
    }
    gchar* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
    GstDiscovererInfo* info = gst_discoverer_discover_uri(discoverer, uri, &error);
    g_free(uri);
    g_clear_error(&error);
    std::optional<ClipFacts> facts;
    if (info && gst_discoverer_info_get_result(info) == GST_DISCOVERER_OK) {
        facts.emplace();
        facts->seconds = double(gst_discoverer_info_get_duration(info)) / GST_SECOND;
        GList* videos = gst_discoverer_info_get_video_streams(info);
        if (videos) {
            auto* video = GST_DISCOVERER_VIDEO_INFO(videos->data);
            facts->width = int(gst_discoverer_video_info_get_width(video));
            facts->height = int(gst_discoverer_video_info_get_height(video));
        }
        gst_discoverer_stream_info_list_free(videos);
        GList* sounds = gst_discoverer_info_get_audio_streams(info);
        facts->hasSound = sounds != nullptr;
        gst_discoverer_stream_info_list_free(sounds);
        GstDiscovererStreamInfo* top = gst_discoverer_info_get_stream_info(info);
        if (top) {
            GstCaps* caps = gst_discoverer_stream_info_get_caps(top);
            facts->container = gst_structure_get_name(gst_caps_get_structure(caps, 0));
            gst_caps_unref(caps);
            gst_discoverer_stream_info_unref(top);
        }
    }
    if (info)
        gst_discoverer_info_unref(info);
    g_object_unref(discoverer);
    return facts;
}

class ClipRecording : public ::testing::Test {
protected:
    void connect(const CameraSource& source) {
        ASSERT_TRUE(loadCaptureLibrary());
        bool connected = false;
        for (int attempt = 0; attempt < kConnectTries && !connected; ++attempt)
            connected = camera.connectSource(source);
        ASSERT_TRUE(connected);
    }

    // Records and waits for the end; the statuses in the order they came.
    QList<int> record(const ClipRequest& request) {
        QSignalSpy statuses(&camera, &Camera::captureStatus);
        camera.startRecording(request);
        waitForEnd(statuses);
        QList<int> numbers;
        for (const QList<QVariant>& status : statuses) {
            numbers.append(status.at(0).toInt());
            lastText = status.at(1).toString();
        }
        return numbers;
    }

    static void waitForEnd(QSignalSpy& statuses) {
        (void)QTest::qWaitFor(
            [&] { return !statuses.isEmpty() && statuses.last().at(0).toInt() == kCaptureEnds; },
            kClipEndTimeoutMs);
    }

    // The camera hands out a picture it did not hand out before.
    bool stillDelivering() {
        const auto before = camera.grabFrame();
        const std::uint64_t seen = before ? before->sequence : 0;
        return QTest::qWaitFor(
            [&] {
                const auto frame = camera.grabFrame();
                return frame && frame->sequence > seen;
            },
            20000);
    }

    TempFolder folder;
    Camera camera;
    QString lastText;
};

const CameraSource kTestPattern{"test",
                                "videotestsrc is-live=true pattern=ball"
                                " ! video/x-raw,width=320,height=240,framerate=25/1"};

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

// A full disk: writing stops halfway through the clip.
TEST_F(ClipRecording, FullDiskEndsTheClipAndRemovesItsRemains) {
    connect(kTestPattern);
    const auto path = folder / "clip.avi";
    rlimit before{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto previousHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit small = before;
    small.rlim_cur = 64 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const QList<int> statuses = record({path, 30, false, {}});
    setrlimit(RLIMIT_FSIZE, &before);
    signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(statuses, (QList<int>{kCaptureBegins, kCaptureEnds}));
    EXPECT_FALSE(lastText.isEmpty());
    EXPECT_FALSE(std::filesystem::exists(path));
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
