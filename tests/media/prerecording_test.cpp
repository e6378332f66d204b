// Clips that begin before their trigger: the camera keeps its last seconds encoded and splices
// them into the clip. Checked picture by picture on footage whose pictures show their number,
// and by ear on the demo camera's ticking sound.

#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <QtCore/qtestsupport_core.h>
#include <QSignalSpy>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "../support/testfootage.h"
#include "clipfixture.h"
#include "media/camera.h"
#include "media/gstparse.h"
#include "media/gstpointer.h"

namespace {

// Footage of 16 seconds at 25 pictures a second, replayed by the camera in a loop. Each
// picture shows its number in twelve bands, white for a one, the highest bit on the left.
constexpr int kRate = 25;
constexpr int kFootagePictures = 400;
constexpr int kBits = 12;
constexpr int kBandWidth = 16;
constexpr int kWidth = kBits * kBandWidth;
constexpr int kHeight = 48;
constexpr double kLengthTolerance = 0.3;

// Runs a pipeline to its end; false on an error or after a minute.
bool runToEnd(GstElement* pipeline) {
    if (gst_element_set_state(pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE)
        return false;
    GstPointer<GstBus> bus(gst_element_get_bus(pipeline));
    GstPointer<GstMessage> end(gst_bus_timed_pop_filtered(
        bus.get(), 60 * GST_SECOND, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
    return end && GST_MESSAGE_TYPE(end.get()) == GST_MESSAGE_EOS;
}

void writeNumberedFootage(const std::filesystem::path& path) {
    std::string error;
    PipelinePointer writer = parseLaunch(
        "appsrc name=pictures format=time caps=video/x-raw,format=GRAY8,width=" +
            std::to_string(kWidth) + ",height=" + std::to_string(kHeight) +
            ",framerate=25/1 ! videoconvert ! jpegenc quality=90 ! avimux ! filesink location=\"" +
            path.string() + "\"",
        error);
    ASSERT_TRUE(writer) << error;
    GstPointer<GstElement> pictures(gst_bin_get_by_name(GST_BIN(writer.get()), "pictures"));
    for (int number = 0; number < kFootagePictures; ++number) {
        GstBuffer* picture = gst_buffer_new_allocate(nullptr, kWidth * kHeight, nullptr);
        GstMapInfo map;
        gst_buffer_map(picture, &map, GST_MAP_WRITE);
        for (int x = 0; x < kWidth; ++x) {
            const bool one = (number >> (kBits - 1 - x / kBandWidth)) & 1;
            for (int y = 0; y < kHeight; ++y)
                map.data[y * kWidth + x] = one ? 255 : 0;
        }
        gst_buffer_unmap(picture, &map);
        GST_BUFFER_PTS(picture) = gst_util_uint64_scale(number, GST_SECOND, kRate);
        GST_BUFFER_DURATION(picture) = GST_SECOND / kRate;
        gst_app_src_push_buffer(GST_APP_SRC(pictures.get()), picture);
    }
    gst_app_src_end_of_stream(GST_APP_SRC(pictures.get()));
    ASSERT_TRUE(runToEnd(writer.get())) << "writing " << path;
}

// The number a picture shows; `step` is the distance between two pixels in bytes.
int numberShown(const std::uint8_t* row, int step) {
    int number = 0;
    for (int bit = 0; bit < kBits; ++bit)
        number = number * 2 + (row[(bit * kBandWidth + kBandWidth / 2) * step] > 128 ? 1 : 0);
    return number;
}

// The numbers of a clip's pictures, in order.
std::vector<int> numbersInClip(const std::filesystem::path& path) {
    std::vector<int> numbers;
    eachDecoded(path, "decodebin ! videoconvert ! video/x-raw,format=GRAY8",
                [&](GstSample*, const GstMapInfo& map) {
                    // GRAY8 rows are padded to four bytes; the width here is a multiple of four.
                    numbers.push_back(numberShown(map.data + (kHeight / 2) * kWidth, 1));
                });
    return numbers;
}

// Where the numbers do not go up by one (the footage starting over counts as going on).
std::vector<std::size_t> breaks(const std::vector<int>& numbers) {
    std::vector<std::size_t> found;
    for (std::size_t i = 1; i < numbers.size(); ++i) {
        if (numbers[i] != (numbers[i - 1] + 1) % kFootagePictures)
            found.push_back(i);
    }
    return found;
}

class PreRecordingTest : public ClipFixture {
protected:
    int numberOnCamera() {
        const auto frame = camera.grabFrame();
        if (!frame)
            return -1;
        // Blue, green, red, unused: the green of the middle row.
        return numberShown(frame->view.pixels + (kHeight / 2) * frame->view.stride + 1, 4);
    }

    void waitForPictures(int count) {
        const auto first = camera.grabFrame();
        ASSERT_TRUE(first);
        const std::uint64_t until = first->sequence + count;
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                const auto frame = camera.grabFrame();
                return frame && frame->sequence >= until;
            },
            kClipEndTimeoutMs));
    }

    // The camera has kept at least `seconds` of the footage.
    void waitUntilKept(double seconds) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return camera.preRecording(); }, kClipEndTimeoutMs));
        const int first = numberOnCamera();
        ASSERT_GE(first, 0);
        const int pictures = int(std::ceil(seconds * kRate));
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                const int now = numberOnCamera();
                return now >= 0 && (now - first + kFootagePictures) % kFootagePictures > pictures;
            },
            kClipEndTimeoutMs));
    }
};

class KeptFootage : public PreRecordingTest, public ::testing::WithParamInterface<ClipCodec> {};

TEST_P(KeptFootage, JoinsTheClipWithoutAGapOrARepeat) {
    const auto footage = folder / "numbered.avi";
    writeNumberedFootage(footage);
    const ClipCompression compression{GetParam(), 85};
    camera.setPreRecording({3, compression, false});
    connect(sourceGiven(footage));
    waitUntilKept(3.5);

    const auto path = folder / "clip.avi";
    const int atTrigger = numberOnCamera();
    EXPECT_EQ(record({path, 2, false, compression}), (QList<int>{kCaptureBegins, kCaptureEnds}));
    EXPECT_TRUE(lastText.isEmpty()) << lastText.toStdString();

    const std::vector<int> numbers = numbersInClip(path);
    ASSERT_FALSE(numbers.empty());
    EXPECT_EQ(breaks(numbers), std::vector<std::size_t>{});
    // Three seconds before the trigger, two after.
    EXPECT_NEAR(double(numbers.size()) / kRate, 5.0, kLengthTolerance);
    const auto trigger = std::find(numbers.begin(), numbers.end(), atTrigger);
    ASSERT_NE(trigger, numbers.end());
    EXPECT_NEAR(double(trigger - numbers.begin()) / kRate, 3.0, kLengthTolerance);
    const auto facts = discover(path);
    ASSERT_TRUE(facts);
    EXPECT_NEAR(facts->seconds, 5.0, kLengthTolerance);
    EXPECT_TRUE(stillDelivering());
}

INSTANTIATE_TEST_SUITE_P(Codecs, KeptFootage,
                         ::testing::Values(ClipCodec::MotionJpeg, ClipCodec::Mpeg4),
                         [](const auto& info) {
                             return info.param == ClipCodec::Mpeg4 ? "Mpeg4" : "MotionJpeg";
                         });

// Footage given as the camera starts over while a clip of kept footage is recorded: the clip
// goes on across it, the camera is not taken for lost, and the next clip has its lead again.
TEST_F(PreRecordingTest, ClipAcrossTheReplayOfTheFootageGoesOn) {
    const auto footage = folder / "numbered.avi";
    writeNumberedFootage(footage);
    camera.setPreRecording({3, {}, false});
    connect(sourceGiven(footage));
    QSignalSpy lost(&camera, &Camera::deliveryStopped);
    waitUntilKept(3.5);
    // Two seconds before the footage ends.
    ASSERT_TRUE(QTest::qWaitFor([&] { return numberOnCamera() >= kFootagePictures - 2 * kRate; },
                                kClipEndTimeoutMs));

    for (const char* name : {"across.avi", "next.avi"}) {
        const auto path = folder / name;
        EXPECT_EQ(record({path, 4, false, {}}), (QList<int>{kCaptureBegins, kCaptureEnds}));
        EXPECT_TRUE(lastText.isEmpty()) << lastText.toStdString();
        const std::vector<int> numbers = numbersInClip(path);
        EXPECT_EQ(breaks(numbers), std::vector<std::size_t>{}) << name;
        // Three seconds before the trigger, four after.
        EXPECT_NEAR(double(numbers.size()) / kRate, 7.0, kLengthTolerance) << name;
    }
    EXPECT_TRUE(lost.isEmpty());
    EXPECT_TRUE(stillDelivering());
}

// The sound of a clip as 16-bit mono samples, and their rate.
struct ClipSound {
    std::vector<std::int16_t> samples;
    int rate = 0;
    double seconds() const { return rate ? double(samples.size()) / rate : 0; }
};

ClipSound soundInClip(const std::filesystem::path& path) {
    ClipSound sound;
    eachDecoded(path,
                "avidemux name=demux demux.audio_0 ! audioconvert"
                " ! audio/x-raw,format=S16LE,channels=1",
                [&](GstSample* sample, const GstMapInfo& map) {
                    gst_structure_get_int(gst_caps_get_structure(gst_sample_get_caps(sample), 0),
                                          "rate", &sound.rate);
                    const auto* samples = reinterpret_cast<const std::int16_t*>(map.data);
                    sound.samples.insert(sound.samples.end(), samples, samples + map.size / 2);
                });
    return sound;
}

// Where the demo camera's ticks begin, in seconds from the clip's start: a loud sample after
// half a second of quiet. A tick the clip's start cuts is not one: it begins before the clip.
std::vector<double> tickStarts(const ClipSound& sound) {
    std::vector<double> starts;
    std::size_t quietSince = 0;
    for (std::size_t i = 0; i < sound.samples.size(); ++i) {
        if (std::abs(sound.samples[i]) < 2000)
            continue;
        if (i - quietSince > std::size_t(sound.rate / 2))
            starts.push_back(double(i) / sound.rate);
        quietSince = i;
    }
    return starts;
}

// The demo camera ticks once a second: the clip's sound holds the ticks from before the
// trigger, and runs as long as its pictures without a tick missing or twice.
TEST_F(PreRecordingTest, SoundFromBeforeTheTriggerKeepsItsBeat) {
    camera.setPreRecording({2, {}, true});
    connect({"demo", ""});
    ASSERT_TRUE(QTest::qWaitFor([&] { return camera.preRecording(); }, kClipEndTimeoutMs));
    // Three seconds of pictures, and of sound, since.
    waitForPictures(3 * kRate);

    const auto path = folder / "clip.avi";
    EXPECT_EQ(record({path, 3, true, {}}), (QList<int>{kCaptureBegins, kCaptureEnds}));
    EXPECT_TRUE(lastText.isEmpty()) << lastText.toStdString();
    const auto facts = discover(path);
    ASSERT_TRUE(facts);
    EXPECT_TRUE(facts->hasSound);
    EXPECT_NEAR(facts->seconds, 5.0, kLengthTolerance);

    const ClipSound sound = soundInClip(path);
    EXPECT_NEAR(sound.seconds(), facts->seconds, 0.1);
    const std::vector<double> ticks = tickStarts(sound);
    // The trigger came two seconds into the clip.
    ASSERT_GE(ticks.size(), 4u);
    EXPECT_LT(ticks.front(), 1.5);
    for (std::size_t i = 1; i < ticks.size(); ++i)
        EXPECT_NEAR(ticks[i] - ticks[i - 1], 1.0, 0.02) << "tick " << i;
}

// The footage is kept only while asked; a change waits for the clip under way, and a clip of
// another compression is recorded the usual way.
TEST_F(PreRecordingTest, ChangesWaitForTheClipUnderWay) {
    camera.setPreRecording({2, {}, false});
    connect(kTestPattern);
    ASSERT_TRUE(QTest::qWaitFor([&] { return camera.preRecording(); }, kClipEndTimeoutMs));
    QSignalSpy statuses(&camera, &Camera::captureStatus);
    camera.startRecording({folder / "first.avi", 2, false, {}});
    camera.setPreRecording({});
    EXPECT_TRUE(camera.preRecording());
    EXPECT_EQ(statusesAtEnd(statuses), (QList<int>{kCaptureBegins, kCaptureEnds}));
    EXPECT_FALSE(camera.preRecording());

    const auto plain = folder / "plain.avi";
    EXPECT_EQ(record({plain, 2, false, {}}), (QList<int>{kCaptureBegins, kCaptureEnds}));
    EXPECT_NEAR(discover(plain)->seconds, 2.0, kLengthTolerance);

    camera.setPreRecording({1, {}, false});
    EXPECT_TRUE(camera.preRecording());
    const auto otherCompression = folder / "mpeg4.avi";
    EXPECT_EQ(record({otherCompression, 2, false, {ClipCodec::Mpeg4, 50}}),
              (QList<int>{kCaptureBegins, kCaptureEnds}));
    EXPECT_NEAR(discover(otherCompression)->seconds, 2.0, kLengthTolerance);

    // A camera connected anew keeps its footage again.
    connect(kTestPattern);
    EXPECT_TRUE(camera.preRecording());
}

// At the program's end a clip with kept footage is finished with what it has.
TEST_F(PreRecordingTest, ProgramEndFinishesTheClip) {
    camera.setPreRecording({2, {}, true});
    connect({"demo", ""});
    ASSERT_TRUE(QTest::qWaitFor([&] { return camera.preRecording(); }, kClipEndTimeoutMs));
    const auto path = folder / "clip.avi";
    QSignalSpy statuses(&camera, &Camera::captureStatus);
    camera.startRecording({path, 60, true, {}});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !statuses.isEmpty(); }, kClipEndTimeoutMs));
    camera.disconnectSource();
    ASSERT_EQ(statuses.size(), 2);
    EXPECT_TRUE(statuses.last().at(1).toString().isEmpty());
    const auto facts = discover(path);
    ASSERT_TRUE(facts);
    EXPECT_GT(facts->seconds, 0.5);
    EXPECT_LT(facts->seconds, 30.0);
    EXPECT_FALSE(camera.preRecording());
}

}  // namespace
