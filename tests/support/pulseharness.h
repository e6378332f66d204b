#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Shared by the player tests: a private PulseAudio server whose silent sink is the test
// process's audio output, with a recording of everything played into it.

namespace pulseharness {

using Bytes = std::vector<std::uint8_t>;

inline constexpr int kRate = 44100;

// Polls, dispatching meanwhile what GLib's main loop would (bus watches, time-outs), until the
// condition holds or a generous limit has passed; true when it held.
bool waitFor(const std::function<bool()>& condition);

void writeFile(const std::filesystem::path& path, const Bytes& bytes);

// A program run in the background, its output going to a file; ended with SIGTERM.
class Process {
public:
    Process(const std::vector<std::string>& arguments, const std::filesystem::path& log);
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process();

    bool started() const { return m_pid > 0; }
    // A program that has ended is reaped here, so the destructor signals no other process.
    bool running();

private:
    int m_pid = -1;
};

class PulseSinkTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // What arrived at the sink as interleaved stereo, without its silent frames: those are the
    // sink's own, before a sound and wherever a busy machine let a stream run dry.
    std::vector<std::int16_t> recording() const;
    // Writes the bytes to a file in the test's folder and returns its path.
    std::string file(const std::string& name, const Bytes& bytes) const;

    std::filesystem::path m_folder;
    std::filesystem::path m_recordingPath;
    std::unique_ptr<Process> m_server;
    std::unique_ptr<Process> m_recorder;
};

}  // namespace pulseharness
