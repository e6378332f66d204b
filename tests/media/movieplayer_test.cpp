#include "media/movieplayer.h"

#include <stdlib.h>

#include <gtest/gtest.h>

#include "../support/pulseharness.h"
#include "../support/testmedia.h"
#include "media/alertplayback.h"

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
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

// Loading needs no sound device; these tests never play into one.
constexpr const char* kSilentSink = "fakesink";
constexpr int kAviWidth = 160;
constexpr int kAviHeight = 120;
// Long enough for the test media on a loaded machine, short enough for a test to wait.
constexpr std::chrono::milliseconds kShortLoadLimit{2000};
// The slot of the own player's clips.
constexpr int kClipSlot = 1;

// A fifth of a second of a 16-bit stereo square wave; with `listFirst` a "LIST" chunk comes
// before the format, which only the movie player reads.
Bytes wav(bool listFirst) {
    Bytes samples;
    for (int i = 0; i < kRate / 5; ++i) {
        const std::uint32_t level = (i / 50) % 2 ? 8000 : static_cast<std::uint16_t>(-8000);
        testmedia::appendLe(samples, level, 2);
        testmedia::appendLe(samples, level, 2);
    }
    return testmedia::wav(1, 2, 16, samples, listFirst);
}

// One looped sample struck on the first row, the whole pattern long.
Bytes mod() {
    return testmedia::mod({100}, {{0, 1}}, testmedia::kRows - 1);
}

// Loads as the program does and lets the main loop run until the load has ended.
bool loadNow(MoviePlayer& player, int slot, const std::string& path) {
    std::optional<bool> loaded;
    player.load(slot, path, [&](bool done) { loaded = done; });
    EXPECT_TRUE(waitFor([&] { return loaded.has_value(); })) << path;
    return loaded.value_or(false);
}

AlertPlayer playNow(AlertPlayback& alert, const std::string& path) {
    std::optional<AlertPlayer> taken;
    alert.playAlertFile(path, [&](AlertPlayer player) { taken = player; });
    EXPECT_TRUE(waitFor([&] { return taken.has_value(); })) << path;
    return taken.value_or(AlertPlayer::None);
}

bool run(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

// The media files of all tests, made once by GStreamer's and Vorbis' own tools.
class MediaFiles {
public:
    static const MediaFiles& get() {
        static const MediaFiles files;
        return files;
    }

    MediaFiles(const MediaFiles&) = delete;
    MediaFiles& operator=(const MediaFiles&) = delete;
    ~MediaFiles() {
        if (!folder.empty())
            fs::remove_all(folder);
    }

    bool made = false;
    fs::path folder;
    std::string mp3;
    std::string avi;
    std::string text;
    std::string wav;
    std::string listWav;
    std::string ogg;
    std::string mod;
    std::string missing;

private:
    MediaFiles() {
        std::string name = (fs::temp_directory_path() / "sentello-media-XXXXXX").string();
        if (!mkdtemp(name.data()))
            return;
        folder = name;
        mp3 = (folder / "square.mp3").string();
        avi = (folder / "clip.avi").string();
        text = (folder / "notes.txt").string();
        wav = (folder / "square.wav").string();
        listWav = (folder / "list.wav").string();
        ogg = (folder / "square.ogg").string();
        mod = (folder / "song.mod").string();
        missing = (folder / "missing.avi").string();
        writeFile(wav, ::wav(false));
        writeFile(listWav, ::wav(true));
        writeFile(mod, ::mod());
        const std::string words = "Not a movie, just some words.\n";
        writeFile(text, Bytes(words.begin(), words.end()));
        made = run("gst-launch-1.0 -q audiotestsrc num-buffers=40 wave=square ! audioconvert ! "
                   "lamemp3enc ! filesink location='" +
                   mp3 + "'") &&
               run("gst-launch-1.0 -q videotestsrc num-buffers=30 ! video/x-raw,width=" +
                   std::to_string(kAviWidth) + ",height=" + std::to_string(kAviHeight) +
                   ",framerate=15/1 ! avimux name=m ! filesink location='" + avi +
                   "' audiotestsrc num-buffers=40 ! audio/x-raw,rate=44100,channels=2 ! m.") &&
               run("oggenc -Q -o '" + ogg + "' '" + wav + "'");
    }
};

class MoviePlayerLoading : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(MediaFiles::get().made); }

    const MediaFiles& m_files = MediaFiles::get();
};

TEST_F(MoviePlayerLoading, AcceptsSoundOnlyAndVideoFiles) {
    MoviePlayer player(kSilentSink);
    ASSERT_TRUE(loadNow(player, 0, m_files.mp3));
    EXPECT_EQ(player.pictureWidth(0), -1);
    EXPECT_EQ(player.pictureHeight(0), -1);
    ASSERT_TRUE(loadNow(player, 1, m_files.avi));
    EXPECT_EQ(player.pictureWidth(1), kAviWidth);
    EXPECT_EQ(player.pictureHeight(1), kAviHeight);
    // The slots are independent, and either plays again from its start.
    EXPECT_TRUE(player.play(0));
    EXPECT_TRUE(player.play(1));
    EXPECT_TRUE(player.play(0));
    EXPECT_TRUE(player.play(1));
}

TEST_F(MoviePlayerLoading, AcceptsRelativePaths) {
    const fs::path previous = fs::current_path();
    fs::current_path(m_files.folder);
    MoviePlayer player(kSilentSink);
    EXPECT_TRUE(loadNow(player, 0, fs::path(m_files.avi).filename().string()));
    fs::current_path(previous);
    EXPECT_EQ(player.pictureWidth(0), kAviWidth);
}

TEST_F(MoviePlayerLoading, RefusesTextAndMissingFiles) {
    MoviePlayer player(kSilentSink);
    for (const std::string& path : {m_files.text, m_files.missing, std::string()}) {
        EXPECT_FALSE(loadNow(player, 0, path)) << path;
        EXPECT_EQ(player.pictureWidth(0), 0) << path;
        EXPECT_EQ(player.pictureHeight(0), 0) << path;
        EXPECT_FALSE(player.play(0)) << path;
    }
}

TEST_F(MoviePlayerLoading, FailedLoadEmptiesTheSlot) {
    MoviePlayer player(kSilentSink);
    ASSERT_TRUE(loadNow(player, 0, m_files.avi));
    ASSERT_TRUE(player.play(0));
    EXPECT_FALSE(loadNow(player, 0, m_files.text));
    EXPECT_EQ(player.pictureWidth(0), 0);
    EXPECT_FALSE(player.play(0));
    EXPECT_FALSE(loadNow(player, 0, m_files.missing));
    EXPECT_FALSE(player.play(0));
}

TEST_F(MoviePlayerLoading, LoadingAgainReplacesTheMovie) {
    MoviePlayer player(kSilentSink);
    ASSERT_TRUE(loadNow(player, 0, m_files.avi));
    ASSERT_TRUE(player.play(0));
    ASSERT_TRUE(loadNow(player, 0, m_files.mp3));
    EXPECT_EQ(player.pictureWidth(0), -1);
    EXPECT_TRUE(player.play(0));
}

TEST_F(MoviePlayerLoading, RefusesFilesWhenTheAudioOutputFails) {
    // A server that is not there: the sound output never opens.
    MoviePlayer player("pulsesink server=unix:/nonexistent/sentello/native");
    EXPECT_FALSE(loadNow(player, 0, m_files.mp3));
    EXPECT_FALSE(player.play(0));
    MoviePlayer unknown("nosuchsentellosink");
    EXPECT_FALSE(loadNow(unknown, 0, m_files.mp3));
}

TEST(MoviePlayer, EmptySlotsHaveNoPicture) {
    MoviePlayer player(kSilentSink);
    EXPECT_EQ(player.pictureWidth(3), 0);
    EXPECT_EQ(player.pictureHeight(3), 0);
    EXPECT_FALSE(player.play(3));
}

// A sink that never gets a sample, so its movie never finishes loading.
constexpr const char* kNeverReadySink = "valve drop=true ! fakesink";

TEST_F(MoviePlayerLoading, LoadingGoesOnBesideTheMainLoop) {
    std::optional<bool> loaded;
    {
        MoviePlayer player(kNeverReadySink);
        player.load(0, m_files.mp3, [&](bool done) { loaded = done; });
        // Back before the movie has loaded; the main loop runs on meanwhile.
        EXPECT_FALSE(loaded.has_value());
        EXPECT_TRUE(waitFor([&] { return true; }));
        EXPECT_FALSE(loaded.has_value());
        EXPECT_EQ(player.pictureWidth(0), 0);
        EXPECT_FALSE(player.play(0));
    }
    // A load that ends with its player is never told.
    EXPECT_TRUE(waitFor([&] { return true; }));
    EXPECT_FALSE(loaded.has_value());
}

TEST_F(MoviePlayerLoading, ALoadThatNeverEndsFailsAtTheLimit) {
    MoviePlayer player(kNeverReadySink, kShortLoadLimit);
    std::optional<bool> loaded;
    player.load(0, m_files.mp3, [&](bool done) { loaded = done; });
    ASSERT_TRUE(waitFor([&] { return loaded.has_value(); }));
    EXPECT_FALSE(*loaded);
    EXPECT_EQ(player.pictureWidth(0), 0);
}

TEST_F(MoviePlayerLoading, TheNextLoadIntoASlotReplacesOneUnderWay) {
    MoviePlayer player(kSilentSink);
    std::vector<std::string> told;
    player.load(1, m_files.mp3, [&](bool) { told.push_back("mp3"); });
    player.load(1, m_files.avi, [&](bool done) { told.push_back(done ? "avi" : "failed"); });
    ASSERT_TRUE(waitFor([&] { return !told.empty(); }));
    EXPECT_EQ(told, std::vector<std::string>{"avi"});
    EXPECT_EQ(player.pictureWidth(1), kAviWidth);
}

// Copies of the test media cut short or with bits flipped, from a seed that a failure names. Each
// is loaded into the alert's slot and the own player's: the load is always told, and a movie that
// loads plays and is replaced while it plays. GStreamer stalls on some of them rather than failing;
// a short limit keeps those short.
class DamagedMedia : public MoviePlayerLoading {
protected:
    std::vector<Bytes> damagedCopies(const std::string& path, std::mt19937& random) const {
        const Bytes whole = readBytes(path);
        std::vector<Bytes> copies;
        for (const double share : {0.02, 0.1, 0.3, 0.5, 0.7, 0.95})
            copies.emplace_back(whole.begin(),
                                whole.begin() + static_cast<std::ptrdiff_t>(whole.size() * share));
        for (int copy = 0; copy < 8; ++copy) {
            Bytes flipped = whole;
            // The headers and indexes matter most; half of the flips land in the first 512
            // bytes.
            for (int flip = 0; flip < 1 + copy % 4; ++flip) {
                const std::size_t span =
                    flip % 2 ? flipped.size() : std::min<std::size_t>(512, flipped.size());
                std::uniform_int_distribution<std::size_t> where(0, span - 1);
                flipped[where(random)] ^= static_cast<std::uint8_t>(1u << (random() % 8));
            }
            copies.push_back(std::move(flipped));
        }
        return copies;
    }

    static Bytes readBytes(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

// As for the fuzzers: FUZZ_SEED=0 for a random seed, another number for that one.
unsigned fuzzSeed() {
    const char* given = std::getenv("FUZZ_SEED");
    const unsigned seed = given ? static_cast<unsigned>(std::strtoul(given, nullptr, 10)) : 1;
    return seed != 0 ? seed : std::random_device()();
}

TEST_F(DamagedMedia, NeitherCrashNorHang) {
    const unsigned seed = fuzzSeed();
    SCOPED_TRACE("FUZZ_SEED=" + std::to_string(seed));
    std::mt19937 random(seed);
    MoviePlayer movies(kSilentSink, kShortLoadLimit);
    int index = 0;
    for (const std::string& original : {m_files.avi, m_files.mp3, m_files.ogg}) {
        for (const Bytes& copy : damagedCopies(original, random)) {
            const std::string path =
                (m_files.folder / ("damaged-" + std::to_string(index++))).string();
            writeFile(path, copy);
            // As an alert (no picture) and as a clip, each replacing its predecessor.
            if (loadNow(movies, 0, path)) {
                EXPECT_TRUE(movies.play(0)) << path;
            }
            if (loadNow(movies, kClipSlot, path)) {
                EXPECT_TRUE(movies.play(kClipSlot, [](const QImage&) {})) << path;
            }
            fs::remove(path);
        }
    }
}

// Movies and alerts played into a private PulseAudio sink and recorded there.
class MoviePlayerOutput : public PulseSinkTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(MediaFiles::get().made);
        PulseSinkTest::SetUp();
    }

    // A tenth of a second of sound has arrived.
    bool soundArrived() const { return recording().size() >= 2 * kRate / 10; }

    const MediaFiles& m_files = MediaFiles::get();
};

TEST_F(MoviePlayerOutput, Mp3IsHeardAfterPlay) {
    MoviePlayer player;
    ASSERT_TRUE(loadNow(player, 0, m_files.mp3));
    ASSERT_TRUE(player.play(0));
    EXPECT_TRUE(waitFor([&] { return soundArrived(); }));
}

using AlertPlaybackOutput = MoviePlayerOutput;

TEST_F(AlertPlaybackOutput, EachFileGoesToTheFirstPlayerThatTakesIt) {
    AlertPlayback alert;
    EXPECT_EQ(playNow(alert, m_files.wav), AlertPlayer::Sound);
    EXPECT_EQ(playNow(alert, m_files.ogg), AlertPlayer::Sound);
    // The sound player takes no WAV whose first chunk is not its format.
    EXPECT_EQ(playNow(alert, m_files.listWav), AlertPlayer::Movie);
    EXPECT_EQ(playNow(alert, m_files.avi), AlertPlayer::Movie);
    EXPECT_EQ(playNow(alert, m_files.mp3), AlertPlayer::Movie);
    EXPECT_EQ(playNow(alert, m_files.mod), AlertPlayer::Module);
    EXPECT_EQ(playNow(alert, m_files.text), AlertPlayer::None);
    EXPECT_EQ(playNow(alert, m_files.missing), AlertPlayer::None);
    EXPECT_EQ(playNow(alert, ""), AlertPlayer::None);
}

TEST_F(AlertPlaybackOutput, AviAlertIsHeard) {
    AlertPlayback alert;
    ASSERT_EQ(playNow(alert, m_files.avi), AlertPlayer::Movie);
    EXPECT_TRUE(waitFor([&] { return soundArrived(); }));
}

TEST_F(AlertPlaybackOutput, NothingIsHeardFromFilesNoPlayerTakes) {
    AlertPlayback alert;
    EXPECT_EQ(playNow(alert, m_files.text), AlertPlayer::None);
    EXPECT_EQ(playNow(alert, ""), AlertPlayer::None);
    // A sound played afterwards is the first thing recorded.
    ASSERT_EQ(playNow(alert, m_files.wav), AlertPlayer::Sound);
    ASSERT_TRUE(waitFor([&] { return soundArrived(); }));
    const std::vector<std::int16_t> recorded = recording();
    EXPECT_EQ(std::abs(int{recorded[0]}), 8000);
}

}  // namespace
