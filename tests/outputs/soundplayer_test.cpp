#include "outputs/soundplayer.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr int kRate = 44100;
constexpr auto kWaitLimit = std::chrono::seconds(15);
constexpr const char* kSinkName = "sentello_test";

// Polls until the condition holds or the limit has passed; true when it held.
bool waitFor(const std::function<bool()>& condition) {
    const auto deadline = Clock::now() + kWaitLimit;
    while (!condition()) {
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

void appendLe(Bytes& bytes, std::uint32_t value, int count) {
    for (int i = 0; i < count; ++i)
        bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void append(Bytes& bytes, std::string_view text) {
    bytes.insert(bytes.end(), text.begin(), text.end());
}

Bytes chunk(std::string_view tag, const Bytes& content) {
    Bytes bytes;
    append(bytes, tag);
    appendLe(bytes, static_cast<std::uint32_t>(content.size()), 4);
    bytes.insert(bytes.end(), content.begin(), content.end());
    return bytes;
}

Bytes wav(int formatTag, int channels, int bits, const Bytes& samples, bool listFirst = false) {
    const int blockAlign = channels * bits / 8;
    Bytes format;
    appendLe(format, formatTag, 2);
    appendLe(format, channels, 2);
    appendLe(format, kRate, 4);
    appendLe(format, kRate * blockAlign, 4);
    appendLe(format, blockAlign, 2);
    appendLe(format, bits, 2);
    Bytes body;
    append(body, "WAVE");
    std::vector<Bytes> chunks;
    if (listFirst)
        chunks.push_back(chunk("LIST", Bytes{'I', 'N', 'F', 'O'}));
    chunks.push_back(chunk("fmt ", format));
    chunks.push_back(chunk("data", samples));
    for (const Bytes& each : chunks)
        body.insert(body.end(), each.begin(), each.end());
    Bytes bytes;
    append(bytes, "RIFF");
    appendLe(bytes, static_cast<std::uint32_t>(body.size()), 4);
    bytes.insert(bytes.end(), body.begin(), body.end());
    return bytes;
}

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

void writeFile(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
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

// A program run in the background, its output going to a file; ended with SIGTERM.
class Process {
public:
    Process(const std::vector<std::string>& arguments, const fs::path& log) {
        std::vector<char*> argv;
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
        if (posix_spawnp(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process() {
        if (m_pid <= 0)
            return;
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
    }

    bool started() const { return m_pid > 0; }
    // A program that has ended is reaped here, so the destructor signals no other process.
    bool running() {
        if (m_pid > 0 && waitpid(m_pid, nullptr, WNOHANG) != 0)
            m_pid = -1;
        return m_pid > 0;
    }

private:
    pid_t m_pid = -1;
};

std::string readText(const fs::path& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A private PulseAudio server with a silent sink as the test process's audio output, and a
// recording of everything played into it.
class SoundPlayerOutput : public testing::Test {
protected:
    void SetUp() override {
        std::string folder = (fs::temp_directory_path() / "sentello-sound-XXXXXX").string();
        ASSERT_NE(mkdtemp(folder.data()), nullptr);
        m_folder = folder;
        const fs::path socket = m_folder / "native";
        // The server's own files stay in the folder, not in the user's home.
        setenv("PULSE_RUNTIME_PATH", m_folder.c_str(), 1);
        setenv("PULSE_STATE_PATH", m_folder.c_str(), 1);
        setenv("PULSE_SERVER", ("unix:" + socket.string()).c_str(), 1);
        const std::string home = "HOME=" + m_folder.string();
        m_server = std::make_unique<Process>(
            std::vector<std::string>{
                "env", home, "XDG_CONFIG_HOME=" + m_folder.string(), "pulseaudio", "-n",
                "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no", "--disallow-exit",
                "--log-target=stderr",
                std::string("-Lmodule-null-sink sink_name=") + kSinkName +
                    " rate=44100 norewinds=1",
                "-Lmodule-native-protocol-unix auth-anonymous=1 socket=" + socket.string()},
            m_folder / "server.log");
        ASSERT_TRUE(m_server->started());
        ASSERT_TRUE(waitFor([&] { return fs::exists(socket) || !m_server->running(); }));
        ASSERT_TRUE(m_server->running()) << readText(m_folder / "server.log");

        m_recordingPath = m_folder / "recording.raw";
        m_recorder = std::make_unique<Process>(
            std::vector<std::string>{"parec", "-d", std::string(kSinkName) + ".monitor",
                                     "--format=s16le", "--rate=44100", "--channels=2", "--raw",
                                     "--latency-msec=20", m_recordingPath.string()},
            m_folder / "recorder.log");
        ASSERT_TRUE(m_recorder->started());
        // The monitor delivers silence from the start, so data means the recording runs.
        ASSERT_TRUE(waitFor([&] {
            std::error_code error;
            return fs::file_size(m_recordingPath, error) > 0 || !m_recorder->running();
        }));
        ASSERT_TRUE(m_recorder->running()) << readText(m_folder / "recorder.log");
    }

    void TearDown() override {
        m_recorder.reset();
        m_server.reset();
        unsetenv("PULSE_SERVER");
        unsetenv("PULSE_RUNTIME_PATH");
        unsetenv("PULSE_STATE_PATH");
        if (!m_folder.empty())
            fs::remove_all(m_folder);
    }

    // What arrived at the sink, without its silent frames: those are the sink's own, before a
    // sound and wherever a busy machine let a stream run dry.
    std::vector<std::int16_t> recording() const {
        std::ifstream in(m_recordingPath, std::ios::binary);
        const Bytes bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        std::vector<std::int16_t> samples;
        for (std::size_t i = 0; i + 4 <= bytes.size(); i += 4) {
            const auto left = static_cast<std::int16_t>(bytes[i] | (bytes[i + 1] << 8));
            const auto right = static_cast<std::int16_t>(bytes[i + 2] | (bytes[i + 3] << 8));
            if (left != 0 || right != 0) {
                samples.push_back(left);
                samples.push_back(right);
            }
        }
        return samples;
    }

    std::string file(const std::string& name, const Bytes& bytes) const {
        writeFile(m_folder / name, bytes);
        return (m_folder / name).string();
    }

    fs::path m_folder;
    fs::path m_recordingPath;
    std::unique_ptr<Process> m_server;
    std::unique_ptr<Process> m_recorder;
};

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

}  // namespace
