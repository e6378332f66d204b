// Alert files and clips that are no regular file, or far too large: every player refuses them
// at once, without blocking, reading without end or throwing.

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "../boundedcall.h"
#include "../support/pulseharness.h"
#include "../support/testmedia.h"
#include "../tempfolder.h"
#include "media/alertplayback.h"
#include "media/moduleplayer.h"
#include "media/movieplayer.h"
#include "media/soundplayer.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Nothing is played into a sound device here.
constexpr const char* kSilentSink = "fakesink";

class HostileMedia : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(m_folder.path().empty());
        fs::create_directory(m_folder / "folder.wav");
        ASSERT_EQ(::mkfifo((m_folder / "fifo.wav").c_str(), 0600), 0);
        fs::create_symlink("/dev/zero", m_folder / "zero.mod");
        fs::create_symlink(m_folder / "fifo.wav", m_folder / "fifo-link.avi");
    }

    // What no player may open or read.
    std::vector<std::string> hostileNames() const {
        return {(m_folder / "folder.wav").string(), (m_folder / "fifo.wav").string(), "/dev/zero",
                (m_folder / "zero.mod").string(), (m_folder / "fifo-link.avi").string()};
    }

    // A file that holds nothing but is `size` bytes long.
    std::string sparseFile(const std::string& name, off_t size) const {
        const fs::path path = m_folder / name;
        pulseharness::writeFile(path, testmedia::mod({100}, {{0, 1}}, testmedia::kRows - 1));
        EXPECT_EQ(::truncate(path.c_str(), size), 0);
        return path.string();
    }

    TempFolder m_folder;
};

// Every hostile name is refused, each load ending in time, and so is the file named `huge`.
template <typename Player>
void expectRefusedAtOnce(Player& player, const std::vector<std::string>& names,
                         const std::string& huge) {
    for (const std::string& path : names) {
        bool loaded = true;
        ASSERT_TRUE(endsWithin(5s, [&] { loaded = player.load(0, path); })) << path;
        EXPECT_FALSE(loaded) << path;
    }
    EXPECT_FALSE(player.load(0, huge));
}

TEST_F(HostileMedia, TheSoundPlayerRefusesAtOnce) {
    SoundPlayer sounds(kSilentSink);
    expectRefusedAtOnce(sounds, hostileNames(), sparseFile("huge.wav", kMaxSoundFileBytes + 1));
}

TEST_F(HostileMedia, TheModulePlayerRefusesAtOnce) {
    ModulePlayer modules(kSilentSink);
    // A module that would load, made far larger than any module is.
    expectRefusedAtOnce(modules, hostileNames(), sparseFile("huge.mod", off_t{65} * 1024 * 1024));
}

TEST_F(HostileMedia, TheMoviePlayerRefusesBeforeLoadReturns) {
    MoviePlayer movies(kSilentSink);
    for (const std::string& path : hostileNames()) {
        std::optional<bool> loaded;
        ASSERT_TRUE(endsWithin(5s, [&] {
            movies.load(0, path, [&](bool done) { loaded = done; });
        })) << path;
        EXPECT_EQ(loaded, false) << path;
        EXPECT_FALSE(movies.play(0)) << path;
    }
}

TEST_F(HostileMedia, TheAlertPlaysNothingAndGoesOn) {
    AlertPlayback alert(kSilentSink);
    for (const std::string& path : hostileNames()) {
        std::optional<AlertPlayer> taken;
        ASSERT_TRUE(endsWithin(5s, [&] {
            alert.playAlertFile(path, [&](AlertPlayer player) { taken = player; });
        })) << path;
        EXPECT_EQ(taken, AlertPlayer::None) << path;
    }
}

}  // namespace
