// Clips that a fault may cut off at any moment: while one is recorded its file holds pictures
// and sound interleaved as they came, whatever the compression and whether it began before its
// trigger, so that whatever cuts it off leaves what was recorded up to then.

#include <gtest/gtest.h>

#include <QtCore/qtestsupport_core.h>
#include <QSignalSpy>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "clipfixture.h"
#include "media/camera.h"

namespace {

struct MoviChunks {
    int pictures = 0;
    int sounds = 0;
};

std::uint32_t littleEndian(const char* bytes) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | static_cast<unsigned char>(bytes[i]);
    return value;
}

// The whole chunks of the file's "movi" list, as far as they are written: a clip being
// recorded has no index yet.
MoviChunks moviChunks(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    const std::string data{std::istreambuf_iterator<char>(file), {}};
    MoviChunks chunks;
    const auto isMovi = [&](std::size_t at) {
        return data.compare(at, 4, "LIST") == 0 && data.compare(at + 8, 4, "movi") == 0;
    };
    // The lists before "movi" have their sizes; "movi" itself grows.
    std::size_t position = 12;
    while (position + 12 <= data.size() && !isMovi(position))
        position += 8 + littleEndian(&data[position + 4]);
    for (position += 12; position + 8 <= data.size();) {
        const std::uint32_t size = littleEndian(&data[position + 4]);
        if (position + 8 + size > data.size())
            break;
        const std::string kind = data.substr(position + 2, 2);
        if (kind == "dc" || kind == "db")
            ++chunks.pictures;
        else if (kind == "wb")
            ++chunks.sounds;
        position += 8 + size + (size & 1);
    }
    return chunks;
}

struct Case {
    ClipCodec codec;
    int leadSeconds;
};

class InterleavedClip : public ClipFixture, public ::testing::WithParamInterface<Case> {};

// The demo camera brings its sound. Two seconds of pictures are in the file long before the
// clip of ten ends, and sound with them.
TEST_P(InterleavedClip, HoldsPicturesAndSoundAsTheyCome) {
    const ClipCompression compression{GetParam().codec, 85};
    camera.setPreRecording({GetParam().leadSeconds, compression, true});
    connect({"demo", ""});
    if (GetParam().leadSeconds > 0) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return camera.preRecording(); }, kClipEndTimeoutMs));
        // The lead kept, its sound with it.
        const auto first = camera.grabFrame();
        ASSERT_TRUE(first);
        const std::uint64_t kept = first->sequence + (GetParam().leadSeconds + 1) * 25;
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                const auto frame = camera.grabFrame();
                return frame && frame->sequence >= kept;
            },
            kClipEndTimeoutMs));
    }
    const auto path = folder / "clip.avi";
    QSignalSpy statuses(&camera, &Camera::captureStatus);
    camera.startRecording({path, 10, true, compression});
    const int pictures = (GetParam().leadSeconds + 2) * 25;
    const bool written = QTest::qWaitFor(
        [&] {
            return moviChunks(path).pictures >= pictures ||
                   (!statuses.isEmpty() && statuses.last().at(0).toInt() == kCaptureEnds);
        },
        kClipEndTimeoutMs);
    const MoviChunks chunks = moviChunks(path);
    EXPECT_TRUE(written);
    EXPECT_TRUE(camera.recording()) << chunks.pictures << " pictures only when the clip ended";
    EXPECT_GE(chunks.pictures, pictures);
    EXPECT_GT(chunks.sounds, 0);
    waitForEnd(statuses);
}

INSTANTIATE_TEST_SUITE_P(
    Compressions, InterleavedClip,
    ::testing::Values(Case{ClipCodec::MotionJpeg, 0}, Case{ClipCodec::Mpeg4, 0},
                      Case{ClipCodec::MotionJpeg, 2}, Case{ClipCodec::Mpeg4, 2}),
    [](const auto& info) {
        return std::string(info.param.codec == ClipCodec::Mpeg4 ? "Mpeg4" : "MotionJpeg") +
               (info.param.leadSeconds > 0 ? "WithLead" : "");
    });

}  // namespace
