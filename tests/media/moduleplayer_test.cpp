#include "media/moduleplayer.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "../support/pulseharness.h"
#include "../support/testmedia.h"

namespace {

namespace fs = std::filesystem;
using pulseharness::Bytes;
using pulseharness::kRate;
using pulseharness::PulseSinkTest;
using pulseharness::waitFor;
using pulseharness::writeFile;
using testmedia::append;
using testmedia::kModChannels;
using testmedia::mod;

// At speed 6 and 125 BPM a row lasts 0.12 s.
constexpr double kRowSeconds = 0.12;
// Shorter runs of one sign are the ramps between notes.
constexpr std::size_t kMinRunFrames = kRate / 100;

void appendLe16(Bytes& bytes, int value) {
    bytes.push_back(static_cast<std::uint8_t>(value));
    bytes.push_back(static_cast<std::uint8_t>(value >> 8));
}

// A FastTracker 2 module: four channels, no instruments, one pattern of 64 empty rows (libmodplug
// takes no XM file shorter than 512 bytes).
Bytes xm() {
    constexpr int kXmRows = 64;
    Bytes bytes;
    append(bytes, "Extended Module: ");
    bytes.insert(bytes.end(), 20, 0);  // name
    bytes.push_back(0x1a);
    bytes.insert(bytes.end(), 20, 0);  // tracker
    appendLe16(bytes, 0x0104);         // version
    appendLe16(bytes, 276);            // header size, from here on
    appendLe16(bytes, 0);
    appendLe16(bytes, 1);  // orders
    appendLe16(bytes, 0);  // restart position
    appendLe16(bytes, kModChannels);
    appendLe16(bytes, 1);  // patterns
    appendLe16(bytes, 0);  // instruments
    appendLe16(bytes, 1);  // linear frequencies
    appendLe16(bytes, 6);  // speed
    appendLe16(bytes, 125);
    bytes.insert(bytes.end(), 256, 0);  // order table
    // Pattern header, then one "empty" packing byte per cell.
    appendLe16(bytes, 9);
    appendLe16(bytes, 0);
    bytes.push_back(0);  // packing type
    appendLe16(bytes, kXmRows);
    appendLe16(bytes, kXmRows * kModChannels);
    bytes.insert(bytes.end(), kXmRows * kModChannels, 0x80);
    return bytes;
}

// Two rows of a positive level, then a negative level to the song's end: each start of the
// song is a positive run after a negative one.
Bytes startMarkedSong(int lastRow) {
    return mod({100, -100}, {{0, 1}, {2, 2}}, lastRow);
}

Bytes randomBytes() {
    std::mt19937 generator(20240611);
    Bytes bytes(4096);
    for (std::uint8_t& byte : bytes)
        byte = static_cast<std::uint8_t>(generator());
    return bytes;
}

struct SignRun {
    int sign;
    std::size_t frames;
};

// The recording as runs of frames of one sign (of left plus right), ramps folded into the
// run before them.
std::vector<SignRun> runsOf(const std::vector<std::int16_t>& samples) {
    std::vector<SignRun> raw;
    for (std::size_t i = 0; i + 1 < samples.size(); i += 2) {
        const int sum = samples[i] + samples[i + 1];
        const int sign = sum > 0 ? 1 : (sum < 0 ? -1 : 0);
        if (raw.empty() || raw.back().sign != sign)
            raw.push_back({sign, 0});
        ++raw.back().frames;
    }
    std::vector<SignRun> runs;
    for (const SignRun& run : raw) {
        if (!runs.empty() && (run.sign == runs.back().sign || run.frames < kMinRunFrames))
            runs.back().frames += run.frames;
        else
            runs.push_back(run);
    }
    return runs;
}

std::size_t positiveRuns(const std::vector<SignRun>& runs) {
    std::size_t count = 0;
    for (const SignRun& run : runs)
        count += run.sign > 0 ? 1 : 0;
    return count;
}

std::size_t seconds(double value) {
    return static_cast<std::size_t>(value * kRate);
}

// Modules loaded without a device: the null sink of GStreamer stands in.
class ModulePlayerLoading : public testing::Test {
protected:
    void SetUp() override {
        std::string folder = (fs::temp_directory_path() / "sentello-module-XXXXXX").string();
        ASSERT_NE(mkdtemp(folder.data()), nullptr);
        m_folder = folder;
    }
    void TearDown() override {
        if (!m_folder.empty())
            fs::remove_all(m_folder);
    }

    std::string file(const std::string& name, const Bytes& bytes) const {
        writeFile(m_folder / name, bytes);
        return (m_folder / name).string();
    }

    fs::path m_folder;
};

TEST_F(ModulePlayerLoading, AcceptsModFilesAndRefusesOtherData) {
    ModulePlayer player("fakesink");
    EXPECT_TRUE(player.load(0, file("song.mod", startMarkedSong(7))));
    EXPECT_FALSE(player.load(1, file("noise.mod", randomBytes())));
    EXPECT_FALSE(player.play(1));
    EXPECT_FALSE(player.load(2, (m_folder / "missing.mod").string()));
    EXPECT_FALSE(player.play(2));
}

TEST_F(ModulePlayerLoading, AcceptsXmFiles) {
    ModulePlayer player("fakesink");
    EXPECT_TRUE(player.load(0, file("song.xm", xm())));
}

TEST_F(ModulePlayerLoading, RefusedDataEmptiesTheSlot) {
    ModulePlayer player("fakesink");
    ASSERT_TRUE(player.load(0, file("song.mod", startMarkedSong(7))));
    EXPECT_FALSE(player.load(0, file("noise.mod", randomBytes())));
    EXPECT_FALSE(player.play(0));
}

TEST_F(ModulePlayerLoading, RefusesModulesWithoutAudioOutput) {
    // A server that is not there: the output never opens.
    ModulePlayer player("pulsesink server=unix:/nonexistent/sentello/native");
    EXPECT_FALSE(player.load(0, file("song.mod", startMarkedSong(7))));
    EXPECT_FALSE(player.play(0));
}

// Modules played into a private PulseAudio sink and recorded there.
class ModulePlayerOutput : public PulseSinkTest {};

TEST_F(ModulePlayerOutput, MissingFileKeepsTheSlotsModule) {
    ModulePlayer player;
    ASSERT_TRUE(player.load(0, file("song.mod", startMarkedSong(7))));
    EXPECT_FALSE(player.load(0, (m_folder / "missing.mod").string()));
    ASSERT_TRUE(player.play(0));
    EXPECT_TRUE(waitFor([&] { return positiveRuns(runsOf(recording())) >= 1; }));
}

TEST_F(ModulePlayerOutput, RepeatsTheSongWithoutEnd) {
    constexpr int kLastRow = 7;
    ModulePlayer player;
    ASSERT_TRUE(player.load(0, file("song.mod", startMarkedSong(kLastRow))));
    ASSERT_TRUE(player.play(0));
    // Three times the song's own length, starting over each time.
    const std::size_t songFrames = seconds((kLastRow + 1) * kRowSeconds);
    std::vector<SignRun> runs;
    EXPECT_TRUE(waitFor([&] {
        const std::vector<std::int16_t> recorded = recording();
        runs = runsOf(recorded);
        return recorded.size() / 2 >= 3 * songFrames && positiveRuns(runs) >= 3;
    })) << positiveRuns(runs)
        << " starts";
}

TEST_F(ModulePlayerOutput, PlayingAgainRestartsFromTheStart) {
    // Long enough that the song does not come round by itself while the test looks.
    constexpr int kLastRow = 40;
    ModulePlayer player;
    ASSERT_TRUE(player.load(0, file("song.mod", startMarkedSong(kLastRow))));
    ASSERT_TRUE(player.play(0));
    ASSERT_TRUE(waitFor([&] {
        const std::vector<SignRun> runs = runsOf(recording());
        return runs.size() >= 2 && runs[0].sign > 0 && runs[1].sign < 0;
    }));
    ASSERT_TRUE(player.play(0));
    std::vector<SignRun> runs;
    ASSERT_TRUE(waitFor([&] {
        runs = runsOf(recording());
        return positiveRuns(runs) >= 2;
    }));
    ASSERT_GE(runs.size(), 3u);
    EXPECT_GT(runs[0].sign, 0);
    EXPECT_LT(runs[1].sign, 0);
    EXPECT_GT(runs[2].sign, 0);
    // Cut short: a whole song would have played its negative part to the end first.
    EXPECT_LT(runs[1].frames, seconds((kLastRow - 1) * kRowSeconds) * 3 / 4);
}

TEST_F(ModulePlayerOutput, LoadingAgainStopsTheOldModule) {
    ModulePlayer player;
    // The old module is loud and negative, the new one quieter and positive: played together
    // they would still come out negative.
    ASSERT_TRUE(player.load(0, file("old.mod", mod({-120}, {{0, 1}}, 7))));
    ASSERT_TRUE(player.play(0));
    ASSERT_TRUE(waitFor([&] {
        const std::vector<SignRun> runs = runsOf(recording());
        return !runs.empty() && runs[0].sign < 0;
    }));
    ASSERT_TRUE(player.load(0, file("new.mod", mod({40}, {{0, 1}}, 7))));
    ASSERT_TRUE(player.play(0));
    std::vector<SignRun> runs;
    ASSERT_TRUE(waitFor([&] {
        runs = runsOf(recording());
        return runs.size() >= 2 && runs.back().sign > 0 && runs.back().frames >= seconds(1.5);
    }));
    // Negative, then positive for good.
    EXPECT_EQ(runs.size(), 2u);
}

}  // namespace
