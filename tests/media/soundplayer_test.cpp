#include "media/soundplayer.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include "../support/pulseharness.h"
#include "../support/testmedia.h"
#include "../tempfolder.h"
#include "media/sounddecoding.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace fs = std::filesystem;
using pulseharness::Bytes;
using pulseharness::kRate;
using pulseharness::PulseSinkTest;
using pulseharness::waitFor;
using pulseharness::writeFile;
using testmedia::appendLe;
using testmedia::wav;

// One second of 16-bit stereo in which every frame differs from all others and no sample is
// silent: left climbs 1, 1, 2, 2, ..., right falls -1, -2, -2, -3, ... The largest magnitude
// is that of the last right sample.
std::vector<std::int16_t> rampFrames() {
    std::vector<std::int16_t> samples;
    for (int i = 0; i < kRate; ++i) {
        const int left = 1 + i / 2;
        samples.push_back(static_cast<std::int16_t>(left));
        samples.push_back(static_cast<std::int16_t>(-left - i % 2));
    }
    return samples;
}

int peakOf(const std::vector<std::int16_t>& samples) {
    int peak = 0;
    for (const std::int16_t sample : samples)
        peak = std::max(peak, std::abs(int{sample}));
    return peak;
}

Bytes asBytes(const std::vector<std::int16_t>& samples) {
    Bytes bytes;
    for (const std::int16_t sample : samples)
        appendLe(bytes, static_cast<std::uint16_t>(sample), 2);
    return bytes;
}

// Where the first frame of `sound` starts in `recording`, frame-aligned; stereo throughout.
std::vector<std::size_t> soundStarts(const std::vector<std::int16_t>& recording,
                                     const std::vector<std::int16_t>& sound) {
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i + 1 < recording.size(); i += 2) {
        if (recording[i] == sound[0] && recording[i + 1] == sound[1])
            starts.push_back(i);
    }
    return starts;
}

bool wholeSoundAt(const std::vector<std::int16_t>& recording,
                  const std::vector<std::int16_t>& sound, std::size_t start) {
    return recording.size() - start >= sound.size() &&
           std::equal(sound.begin(), sound.end(), recording.begin() + start);
}

bool containsWholeSound(const std::vector<std::int16_t>& recording,
                        const std::vector<std::int16_t>& sound) {
    for (const std::size_t start : soundStarts(recording, sound)) {
        if (wholeSoundAt(recording, sound, start))
            return true;
    }
    return false;
}

// Sounds played into a private PulseAudio sink and recorded there.
class SoundPlayerOutput : public PulseSinkTest {};

TEST_F(SoundPlayerOutput, PlaysSixteenBitStereoSamplesUnchanged) {
    const std::vector<std::int16_t> ramp = rampFrames();
    SoundPlayer player;
    ASSERT_TRUE(player.load(0, file("ramp.wav", wav(1, 2, 16, asBytes(ramp)))));
    ASSERT_TRUE(player.play(0));
    EXPECT_TRUE(waitFor([&] { return containsWholeSound(recording(), ramp); }));
}

TEST_F(SoundPlayerOutput, RefusedFilesKeepTheSlotsSound) {
    const std::vector<std::int16_t> ramp = rampFrames();
    SoundPlayer player;
    ASSERT_TRUE(player.load(0, file("ramp.wav", wav(1, 2, 16, asBytes(ramp)))));
    EXPECT_FALSE(player.load(0, file("list.wav", wav(1, 2, 16, asBytes(ramp), true))));
    EXPECT_FALSE(player.load(0, (m_folder / "missing.wav").string()));
    // ADPCM is a WAV the output cannot take.
    EXPECT_FALSE(player.load(0, file("adpcm.wav", wav(2, 2, 4, Bytes(1000, 0x11)))));
    ASSERT_TRUE(player.play(0));
    EXPECT_TRUE(waitFor([&] { return containsWholeSound(recording(), ramp); }));
}

TEST_F(SoundPlayerOutput, AcceptsEightBitAndFloatSounds) {
    SoundPlayer player;
    EXPECT_TRUE(player.load(0, file("u8.wav", wav(1, 1, 8, Bytes(kRate / 10, 0xc0)))));
    EXPECT_TRUE(player.load(1, file("s24.wav", wav(1, 2, 24, Bytes(6 * 100, 0x20)))));
    Bytes halves;
    for (int i = 0; i < 100; ++i)
        appendLe(halves, 0x3f000000, 4);  // 0.5f
    EXPECT_TRUE(player.load(2, file("float.wav", wav(3, 2, 32, halves))));
    EXPECT_TRUE(player.play(0));
    EXPECT_TRUE(player.play(1));
    EXPECT_TRUE(player.play(2));
}

TEST_F(SoundPlayerOutput, PlayingAgainRestartsWithoutOverlap) {
    const std::vector<std::int16_t> ramp = rampFrames();
    SoundPlayer player;
    ASSERT_TRUE(player.load(0, file("ramp.wav", wav(1, 2, 16, asBytes(ramp)))));
    ASSERT_TRUE(player.play(0));
    ASSERT_TRUE(waitFor([&] { return !soundStarts(recording(), ramp).empty(); }));
    ASSERT_TRUE(player.play(0));
    std::vector<std::int16_t> recorded;
    ASSERT_TRUE(waitFor([&] {
        recorded = recording();
        const std::vector<std::size_t> starts = soundStarts(recorded, ramp);
        return starts.size() >= 2 && wholeSoundAt(recorded, ramp, starts.back());
    }));
    EXPECT_EQ(soundStarts(recorded, ramp).size(), 2u);
    // Two plays at once would add up beyond the loudest sample of one.
    EXPECT_LE(peakOf(recorded), peakOf(ramp));
}

TEST_F(SoundPlayerOutput, LoadingAgainReplacesTheSound) {
    const std::vector<std::int16_t> ramp = rampFrames();
    std::vector<std::int16_t> inverted;
    for (const std::int16_t sample : ramp)
        inverted.push_back(static_cast<std::int16_t>(-sample));
    SoundPlayer player;
    ASSERT_TRUE(player.load(0, file("ramp.wav", wav(1, 2, 16, asBytes(ramp)))));
    ASSERT_TRUE(player.load(0, file("inverted.wav", wav(1, 2, 16, asBytes(inverted)))));
    ASSERT_TRUE(player.play(0));
    EXPECT_TRUE(waitFor([&] { return containsWholeSound(recording(), inverted); }));
    EXPECT_TRUE(soundStarts(recording(), ramp).empty());
}

TEST(SoundPlayer, PlayOnEmptySlotFails) {
    SoundPlayer player;
    EXPECT_FALSE(player.play(0));
    EXPECT_FALSE(player.load(3, "/nonexistent/sentello/sound.wav"));
    EXPECT_FALSE(player.play(3));
}

TEST(SoundPlayer, RefusesSoundsWithoutAudioOutput) {
    const fs::path path =
        fs::temp_directory_path() / ("sentello-sound-" + std::to_string(getpid()));
    writeFile(path, wav(1, 2, 16, asBytes(rampFrames())));
    // A server that is not there: the output never opens.
    SoundPlayer player("pulsesink server=unix:/nonexistent/sentello/native");
    EXPECT_FALSE(player.load(0, path.string()));
    EXPECT_FALSE(player.play(0));
    fs::remove(path);
}

// The output gets what the decoder hands over, up to the limit and not a byte more: a file
// sink written as fast as it can takes the whole play.
TEST(SoundPlayer, FlacLongerThanTheLimitPlaysExactlyTheLimit) {
    if (std::system("command -v flac > /dev/null") != 0)
        GTEST_SKIP() << "flac is not installed";
    TempFolder folder;
    const fs::path flac = folder / "long.flac";
    const fs::path played = folder / "played.raw";
    // One second longer than the limit.
    ASSERT_TRUE(testmedia::writeSilentFlac(flac, kMaxDecodedBytes + 44100 * 4));

    SoundPlayer player("filesink sync=false location=" + played.string());
    ASSERT_TRUE(player.load(0, flac.string()));
    ASSERT_TRUE(player.play(0));
    std::uintmax_t size = 0;
    // Done when the size has reached the limit and stays put from one look to the next.
    waitFor([&] {
        std::error_code error;
        const std::uintmax_t now = fs::file_size(played, error);
        const bool settled = !error && now >= kMaxDecodedBytes && now == size;
        size = error ? 0 : now;
        return settled;
    });
    EXPECT_EQ(size, kMaxDecodedBytes);
}

}  // namespace
