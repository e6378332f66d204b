#include "pulseharness.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <glib.h>

#include <fstream>
#include <iterator>
#include <thread>

extern char** environ;

namespace pulseharness {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr auto kWaitLimit = std::chrono::seconds(15);
constexpr const char* kSinkName = "sentello_test";

std::string readText(const fs::path& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

bool waitFor(const std::function<bool()>& condition) {
    const auto deadline = Clock::now() + kWaitLimit;
    for (;;) {
        // What the program's main loop would dispatch meanwhile (bus watches, time-outs).
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
        if (condition())
            return true;
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void writeFile(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

Process::Process(const std::vector<std::string>& arguments, const fs::path& log) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0)
        m_pid = pid;
    posix_spawn_file_actions_destroy(&actions);
}

Process::~Process() {
    if (m_pid <= 0)
        return;
    kill(m_pid, SIGTERM);
    waitpid(m_pid, nullptr, 0);
}

bool Process::running() {
    if (m_pid > 0 && waitpid(m_pid, nullptr, WNOHANG) != 0)
        m_pid = -1;
    return m_pid > 0;
}

void PulseSinkTest::SetUp() {
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
            std::string("-Lmodule-null-sink sink_name=") + kSinkName + " rate=44100 norewinds=1",
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

void PulseSinkTest::TearDown() {
    m_recorder.reset();
    m_server.reset();
    unsetenv("PULSE_SERVER");
    unsetenv("PULSE_RUNTIME_PATH");
    unsetenv("PULSE_STATE_PATH");
    if (!m_folder.empty())
        fs::remove_all(m_folder);
}

std::vector<std::int16_t> PulseSinkTest::recording() const {
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

std::string PulseSinkTest::file(const std::string& name, const Bytes& bytes) const {
    writeFile(m_folder / name, bytes);
    return (m_folder / name).string();
}

}  // namespace pulseharness
