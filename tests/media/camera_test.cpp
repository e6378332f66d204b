// The camera against real GStreamer pipelines: the built-in demo camera, test sources, recorded
// clips and sources that fail at start or while running.

#include <gst/gst.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QtCore/qtestsupport_core.h>
#include <QCoreApplication>
#include <QTemporaryDir>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "../support/testfootage.h"
#include "detection/demoscene.h"
#include "media/camera.h"
#include "media/camerasources.h"
#include "media/gstpointer.h"

namespace {

// GStreamer is initialised once; the QApplication of the test main runs the event loop that the
// camera's watchdog and bus watch need.
class CaptureEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        ASSERT_NE(QCoreApplication::instance(), nullptr);
        ASSERT_TRUE(loadCaptureLibrary());
        // A critical or warning from GStreamer or GLib means the camera misuses them, even when
        // the pictures look right.
        for (const char* domain : {"GStreamer", "GLib-GObject", "GLib"}) {
            g_log_set_handler(domain,
                              GLogLevelFlags(G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING |
                                             G_LOG_FLAG_FATAL | G_LOG_FLAG_RECURSION),
                              &failOnMessage, nullptr);
        }
    }

private:
    static void failOnMessage(const gchar* domain, GLogLevelFlags, const gchar* message, gpointer) {
        ADD_FAILURE() << domain << ": " << message;
    }
};

[[maybe_unused]] const auto* const captureEnvironment =
    ::testing::AddGlobalTestEnvironment(new CaptureEnvironment);

// Generous bounds: the sanitizer build on a busy machine is many times slower than normal.
constexpr int kPictureTimeoutMs = 15000;
constexpr int kRecoveryTimeoutMs = 20000;

// Lets the event loop run until the camera hands out a frame the predicate accepts.
template <typename Predicate>
std::optional<CameraFrame> waitForFrame(Camera& camera, Predicate accept,
                                        int timeoutMs = kPictureTimeoutMs) {
    std::optional<CameraFrame> found;
    const bool ok = QTest::qWaitFor(
        [&] {
            found = camera.grabFrame();
            return found && accept(*found);
        },
        timeoutMs);
    if (!ok)
        return std::nullopt;
    return found;
}

std::uint64_t pictureHash(const FrameView& view) {
    std::uint64_t hash = 14695981039346656037ull;
    for (int row = 0; row < view.height; ++row) {
        const std::uint8_t* p = view.pixels + std::ptrdiff_t{row} * view.stride;
        for (int i = 0; i < view.width * 4; ++i)
            hash = (hash ^ p[i]) * 1099511628211ull;
    }
    return hash;
}

// Pixels whose blue, green and red are not within `tolerance` of the given colour.
int pixelsNotNear(const FrameView& view, int blue, int green, int red, int tolerance) {
    int count = 0;
    for (int row = 0; row < view.height; ++row) {
        const std::uint8_t* p = view.pixels + std::ptrdiff_t{row} * view.stride;
        for (int column = 0; column < view.width; ++column, p += 4) {
            if (std::abs(p[0] - blue) > tolerance || std::abs(p[1] - green) > tolerance ||
                std::abs(p[2] - red) > tolerance) {
                ++count;
            }
        }
    }
    return count;
}

// The first demo frame number in [from, to] whose rendering equals the picture exactly.
std::optional<std::int64_t> demoFrameNumberOf(const FrameView& view, std::int64_t from,
                                              std::int64_t to) {
    if (view.width != DemoScene::kWidth || view.height != DemoScene::kHeight)
        return std::nullopt;
    static const DemoScene scene;
    std::vector<std::uint8_t> rendered(DemoScene::kStride * DemoScene::kHeight);
    for (std::int64_t number = from; number <= to; ++number) {
        scene.render(number, rendered.data());
        bool same = true;
        for (int row = 0; row < view.height && same; ++row) {
            same = std::memcmp(view.pixels + std::ptrdiff_t{row} * view.stride,
                               rendered.data() + std::ptrdiff_t{row} * DemoScene::kStride,
                               DemoScene::kStride) == 0;
        }
        if (same)
            return number;
    }
    return std::nullopt;
}

// The element made by `factory` in a parsed description (the description itself when it is a
// single element). Returns a new reference or null.
GstElement* findElement(GstElement* top, const char* factory) {
    auto madeBy = [factory](GstElement* element) {
        GstElementFactory* made = gst_element_get_factory(element);
        return made &&
               std::strcmp(gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(made)), factory) == 0;
    };
    if (madeBy(top))
        return GST_ELEMENT(gst_object_ref(top));
    if (!GST_IS_BIN(top))
        return nullptr;
    GstElement* found = nullptr;
    GstIterator* it = gst_bin_iterate_recurse(GST_BIN(top));
    GValue item = G_VALUE_INIT;
    while (!found && gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
        auto* element = GST_ELEMENT(g_value_get_object(&item));
        if (madeBy(element))
            found = GST_ELEMENT(gst_object_ref(element));
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(it);
    return found;
}

// Parses a description and reads a string property of the element made by `factory`.
std::optional<std::string> parsedProperty(const std::string& description, const char* factory,
                                          const char* property) {
    GError* error = nullptr;
    GstElement* top = gst_parse_launch(description.c_str(), &error);
    if (error) {
        ADD_FAILURE() << "\"" << description << "\": " << error->message;
        g_error_free(error);
        if (top)
            gst_object_unref(top);
        return std::nullopt;
    }
    std::optional<std::string> value;
    if (GstElement* element = findElement(top, factory)) {
        gchar* text = nullptr;
        g_object_get(element, property, &text, nullptr);
        if (text)
            value = text;
        g_free(text);
        gst_object_unref(element);
    }
    gst_object_unref(top);
    return value;
}

class CameraTest : public ::testing::Test {
protected:
    Camera m_camera;
};

TEST_F(CameraTest, DemoCameraDeliversTheMovingDemoScene) {
    ASSERT_TRUE(m_camera.connectSource({"Demo", ""}));
    const auto first = m_camera.grabFrame();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->view.width, DemoScene::kWidth);
    EXPECT_EQ(first->view.height, DemoScene::kHeight);
    EXPECT_GE(first->view.stride, DemoScene::kStride);

    // The camera has run for a moment at most, so its picture is one of the first frames.
    const auto firstNumber = demoFrameNumberOf(first->view, 0, 30 * DemoScene::kFramesPerSecond);
    ASSERT_TRUE(firstNumber) << "the picture is no frame of the demo scene";

    const auto later = waitForFrame(
        m_camera, [&](const CameraFrame& frame) { return frame.sequence > first->sequence; });
    ASSERT_TRUE(later) << "the demo camera delivers no new pictures";
    const auto laterNumber =
        demoFrameNumberOf(later->view, *firstNumber + 1, 60 * DemoScene::kFramesPerSecond);
    EXPECT_TRUE(laterNumber) << "a newer picture shows no later frame of the demo scene";

    m_camera.disconnectSource();
    EXPECT_FALSE(m_camera.grabFrame());
}

TEST_F(CameraTest, DescriptionSourceDeliversItsSizeWithRedInTheThirdByte) {
    ASSERT_TRUE(m_camera.connectSource(
        {"Red", "videotestsrc pattern=red ! video/x-raw,width=320,height=240"}));
    const auto frame = m_camera.grabFrame();
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->view.width, 320);
    EXPECT_EQ(frame->view.height, 240);
    EXPECT_GE(frame->view.stride, 320 * 4);
    EXPECT_EQ(pixelsNotNear(frame->view, 0, 0, 255, 8), 0);
}

TEST_F(CameraTest, ConnectingAnotherSourceReplacesThePicture) {
    ASSERT_TRUE(m_camera.connectSource({"Demo", ""}));
    ASSERT_TRUE(m_camera.grabFrame());
    ASSERT_TRUE(m_camera.connectSource(
        {"Blue", "videotestsrc pattern=blue ! video/x-raw,width=64,height=48"}));
    const auto frame = m_camera.grabFrame();
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->view.width, 64);
    EXPECT_EQ(frame->view.height, 48);
    EXPECT_EQ(pixelsNotNear(frame->view, 255, 0, 0, 8), 0);

    // The new source goes on delivering after the old pipeline was torn down.
    const auto newer = waitForFrame(
        m_camera, [&](const CameraFrame& next) { return next.sequence > frame->sequence + 10; });
    ASSERT_TRUE(newer);
    EXPECT_EQ(newer->view.width, 64);
}

// A clip recorded with GStreamer, replayed through the description a given path gets.
class CameraClipTest : public ::testing::TestWithParam<const char*> {
protected:
    QTemporaryDir m_directory;
    Camera m_camera;
};

TEST_P(CameraClipTest, ReplaysInALoopWithoutGaps) {
    ASSERT_TRUE(m_directory.isValid());
    const std::string path = m_directory.filePath(QString::fromUtf8(GetParam())).toStdString();
    ASSERT_NO_FATAL_FAILURE(writeFootage(path));

    ASSERT_TRUE(m_camera.connectSource(sourceGiven(path)));
    const auto first = m_camera.grabFrame();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->view.width, 160);
    EXPECT_EQ(first->view.height, 120);

    // The clip has 30 pictures; 75 mean it was played from its start at least twice more. A
    // picture of the first run has to come back, and the camera must not drop out in between
    // (which a restart by the watchdog would do).
    std::set<std::uint64_t> firstRun;
    bool repeated = false;
    bool droppedOut = false;
    const bool looped = QTest::qWaitFor(
        [&] {
            const auto frame = m_camera.grabFrame();
            if (!frame) {
                droppedOut = true;
                return true;
            }
            const std::uint64_t hash = pictureHash(frame->view);
            if (frame->sequence < first->sequence + 10)
                firstRun.insert(hash);
            if (frame->sequence >= first->sequence + 30 && firstRun.contains(hash)) {
                repeated = true;
            }
            return repeated && frame->sequence >= first->sequence + 75;
        },
        kRecoveryTimeoutMs);
    EXPECT_FALSE(droppedOut) << "the camera delivered nothing while the clip started over";
    EXPECT_TRUE(looped);
    EXPECT_TRUE(repeated) << "no picture of the first run came back";
}

INSTANTIATE_TEST_SUITE_P(FileNames, CameraClipTest,
                         ::testing::Values("clip.avi", "my \"best\" clip 100%.avi"),
                         [](const auto& info) { return info.index == 0 ? "Plain" : "Quoted"; });

// A source description with a name for the test's name.
struct NamedSource {
    const char* name;
    const char* description;
};

void PrintTo(const NamedSource& source, std::ostream* out) {
    *out << source.description;
}

std::string sourceName(const ::testing::TestParamInfo<NamedSource>& info) {
    return info.param.name;
}

class CameraFailingSourceTest : public ::testing::TestWithParam<NamedSource> {
protected:
    Camera m_camera;
};

TEST_P(CameraFailingSourceTest, DoesNotConnect) {
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(m_camera.connectSource({"Broken", GetParam().description}));
    const auto elapsed = std::chrono::steady_clock::now() - started;
    RecordProperty(
        "connect_ms",
        static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()));
    EXPECT_FALSE(m_camera.grabFrame());
}

INSTANTIATE_TEST_SUITE_P(
    Sources, CameraFailingSourceTest,
    ::testing::Values(NamedSource{"MissingFile",
                                  "filesrc location=/nonexistent/sentello/clip.avi ! decodebin"},
                      NamedSource{"UnknownElement", "sentellonosuchsource"},
                      NamedSource{"Unparsable", "videotestsrc ! ! ("}),
    sourceName);

TEST_F(CameraTest, FileWithoutPicturesDoesNotConnect) {
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    const std::string path = directory.filePath("notes.avi").toStdString();
    std::ofstream(path) << "These are notes, not a video.\n";
    EXPECT_FALSE(m_camera.connectSource(sourceGiven(path)));
    EXPECT_FALSE(m_camera.grabFrame());
}

// Failures while running: the camera yields nothing, then the watchdog reconnects it.
class CameraRunTimeFailureTest : public ::testing::TestWithParam<NamedSource> {
protected:
    Camera m_camera;
};

TEST_P(CameraRunTimeFailureTest, DeliversNothingUntilReconnected) {
    ASSERT_TRUE(m_camera.connectSource({"Failing", GetParam().description}));
    std::uint64_t newestBefore = 0;
    const bool stopped = QTest::qWaitFor(
        [&] {
            const auto frame = m_camera.grabFrame();
            if (frame)
                newestBefore = frame->sequence;
            return !frame;
        },
        kRecoveryTimeoutMs);
    ASSERT_TRUE(stopped) << "the camera still hands out pictures after the failure";
    ASSERT_GT(newestBefore, 0u);

    const auto again = waitForFrame(
        m_camera, [&](const CameraFrame& frame) { return frame.sequence > newestBefore; },
        kRecoveryTimeoutMs);
    ASSERT_TRUE(again) << "the camera was not reconnected";
    EXPECT_EQ(again->view.width, 320);
    EXPECT_EQ(again->view.height, 240);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, CameraRunTimeFailureTest,
    ::testing::Values(
        // The stream stops with an error after half a second.
        NamedSource{"ErrorStopsTheStream",
                    "videotestsrc ! video/x-raw,width=320,height=240,framerate=30/1"
                    " ! identity error-after=15"},
        // A side branch fails while pictures keep coming: the error alone has to count.
        NamedSource{"ErrorWhilePicturesGoOn",
                    "videotestsrc ! video/x-raw,width=32,height=24,framerate=30/1"
                    " ! identity error-after=15 ! fakesink"
                    " videotestsrc ! video/x-raw,width=320,height=240,framerate=30/1"},
        // One picture, then none for ten seconds: the camera counts as gone.
        NamedSource{"Stall", "videotestsrc ! video/x-raw,width=320,height=240,framerate=1/10"}),
    sourceName);

TEST(CameraSourceDescriptionTest, DevicePathBecomesTheCameraDevice) {
    for (const std::string path : {"/dev/video0", "/dev/v4l/by-id/usb-Cam \"Front\" \\1-index0"}) {
        SCOPED_TRACE(path);
        const CameraSource source = sourceGiven(path);
        EXPECT_EQ(source.device, path);
        const std::string& description = source.description;
        EXPECT_EQ(parsedProperty(description, "v4l2src", "device"), path);
        // Compressed camera pictures are decoded.
        GError* error = nullptr;
        GstElement* top = gst_parse_launch(description.c_str(), &error);
        ASSERT_EQ(error, nullptr);
        GstElement* decoder = findElement(top, "decodebin");
        EXPECT_NE(decoder, nullptr);
        if (decoder)
            gst_object_unref(decoder);
        gst_object_unref(top);
    }
}

TEST(CameraSourceDescriptionTest, ExistingFileBecomesItsUri) {
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    const std::filesystem::path folder = directory.path().toStdString();
    for (const std::string name : {"clip.avi", "my \"best\" clip.avi", "50% off!\\x.avi"}) {
        SCOPED_TRACE(name);
        const std::filesystem::path path = folder / name;
        std::ofstream(path) << "x";
        const auto uri = parsedProperty(sourceGiven(path).description, "uridecodebin", "uri");
        ASSERT_TRUE(uri);
        gchar* filename = g_filename_from_uri(uri->c_str(), nullptr, nullptr);
        ASSERT_NE(filename, nullptr) << *uri;
        EXPECT_EQ(std::string(filename), path.string());
        g_free(filename);
    }

    // A relative path names the file in the working directory.
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(folder);
    const auto uri = parsedProperty(sourceGiven("clip.avi").description, "uridecodebin", "uri");
    std::filesystem::current_path(previous);
    ASSERT_TRUE(uri);
    gchar* filename = g_filename_from_uri(uri->c_str(), nullptr, nullptr);
    ASSERT_NE(filename, nullptr);
    EXPECT_EQ(std::filesystem::path(filename), folder / "clip.avi");
    g_free(filename);
}

TEST(CameraSourceDescriptionTest, TextBeginningWithAnElementIsTakenAsItStands) {
    for (const std::string given :
         {"videotestsrc pattern=ball", "videotestsrc!video/x-raw,width=64",
          "v4l2src device=/dev/video7 ! jpegdec"}) {
        SCOPED_TRACE(given);
        const CameraSource source = sourceGiven(given);
        EXPECT_EQ(source.description, given);
        EXPECT_EQ(source.device, "");
    }
}

TEST(CameraSourceDescriptionTest, UriIsPlayedThroughUridecodebin) {
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    const std::string file = directory.filePath("clip.avi").toStdString();
    std::ofstream(file) << "x";
    GText fileUri(g_filename_to_uri(file.c_str(), nullptr, nullptr));
    for (const std::string& uri :
         {std::string("rtsp://127.0.0.1:8554/stream"), std::string("http://127.0.0.1:8080/v.mjpg"),
          std::string("https://127.0.0.1/camera?name=front%20door&size=2"),
          std::string(fileUri.get())}) {
        SCOPED_TRACE(uri);
        const CameraSource source = sourceGiven(uri);
        EXPECT_EQ(source.name, uri);
        EXPECT_EQ(parsedProperty(source.description, "uridecodebin", "uri"), uri);
    }
}

// Why a text names no source, said before anything is tried.
struct Refusal {
    const char* name;
    std::string given;
    std::string error;
};

void PrintTo(const Refusal& refusal, std::ostream* out) {
    *out << refusal.given;
}

class CameraSourceRefusalTest : public ::testing::TestWithParam<Refusal> {};

TEST_P(CameraSourceRefusalTest, SaysWhy) {
    std::string error;
    EXPECT_FALSE(givenSource(GetParam().given, error).has_value());
    EXPECT_EQ(error, GetParam().error);
}

TEST(CameraSourceRefusal, AFifoIsNoFootage) {
    // Replaying it would wait for a writer for good.
    QTemporaryDir folder;
    const std::string fifo = folder.filePath("clip.avi").toStdString();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string error;
    EXPECT_FALSE(givenSource(fifo, error).has_value());
    EXPECT_EQ(error, "not a file: " + fifo);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, CameraSourceRefusalTest,
    ::testing::Values(Refusal{"MissingFile", "/nonexistent/sentello/clip.avi",
                              "no such file: /nonexistent/sentello/clip.avi"},
                      Refusal{"MissingFileHere", "sentello-missing-clip.avi",
                              "no such file: sentello-missing-clip.avi"},
                      // Perhaps meant as a description: the unknown element is named too.
                      Refusal{"UnknownElement", "nosuchelement ! decodebin",
                              "no such file: nosuchelement ! decodebin"
                              " (nor does \"nosuchelement\" name a GStreamer element)"},
                      Refusal{"MissingFileUri", "file:///nonexistent/sentello/clip.avi",
                              "no such file: /nonexistent/sentello/clip.avi"},
                      Refusal{"Folder", "/", "not a file: /"},
                      Refusal{"UnknownScheme", "sentello://camera/1",
                              "GStreamer cannot read sentello:// addresses: sentello://camera/1"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
