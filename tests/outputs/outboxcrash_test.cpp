// An outbox killed in the middle of a send: the next one sends what it left, each message once.

#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>

#include "outboxtest.h"

namespace {

// Tells the parent of each send, then holds it for ever: the kill comes in the middle.
class HangingSender : public AlertSender {
public:
    explicit HangingSender(int pipe) : m_pipe(pipe) {}
    Delivery send(const AlertMessage& message) override {
        const std::string line = "sending " + message.id + "\n";
        if (::write(m_pipe, line.data(), line.size()) < 0)
            ::_exit(3);
        for (;;)
            ::pause();
    }
    void abandon() override {}

private:
    int m_pipe;
};

[[noreturn]] void queueFiveAndHang(const std::string& path, int pipe) {
    auto opened = OutboxFolder::open(path);
    if (!std::holds_alternative<OutboxFolder>(opened))
        ::_exit(2);
    std::map<AlertChannel, std::unique_ptr<AlertSender>> senders;
    senders[AlertChannel::Mail] = std::make_unique<HangingSender>(pipe);
    // A message is queued once its text is in the folder.
    auto write = [pipe](const OutboxFolder& folder, const std::string& name,
                        std::string_view bytes) {
        std::optional<std::string> failure = folder.write(name, bytes);
        const std::string line = "queued " + name.substr(0, name.size() - 4) + "\n";
        if (!failure && name.ends_with(".msg") && ::write(pipe, line.data(), line.size()) < 0)
            ::_exit(3);
        return failure;
    };
    // Left to the kill: never destroyed.
    auto* outbox = new Outbox(std::move(std::get<OutboxFolder>(opened)), std::move(senders),
                              100'000'000, {}, {}, write);
    for (int index = 0; index < 5; ++index) {
        AlertMessage alert;
        alert.event.kind = WatchEvent::Kind::Trigger;
        alert.picture = std::string(20'000 + index, 'J');
        outbox->enqueue(std::move(alert));
    }
    for (;;)
        ::pause();
}

// The lines the child wrote until it had queued five and begun a send, read within a bound.
std::vector<std::string> linesUntilSending(int pipe) {
    std::string text;
    const auto bound = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    const auto done = [&] {
        return std::count(text.begin(), text.end(), '\n') >= 6 &&
               text.find("sending ") != std::string::npos;
    };
    while (!done() && std::chrono::steady_clock::now() < bound) {
        pollfd readable{pipe, POLLIN, 0};
        if (::poll(&readable, 1, 100) <= 0)
            continue;
        char buffer[512];
        const ssize_t count = ::read(pipe, buffer, sizeof buffer);
        if (count <= 0)
            break;
        text.append(buffer, static_cast<std::size_t>(count));
    }
    std::vector<std::string> lines;
    for (std::size_t begin = 0; begin < text.size();) {
        const std::size_t end = text.find('\n', begin);
        if (end == std::string::npos)
            break;
        lines.push_back(text.substr(begin, end - begin));
        begin = end + 1;
    }
    return lines;
}

using OutboxCrashTest = OutboxFixture;

TEST_F(OutboxCrashTest, WhatAKilledOutboxLeftIsSentCompletelyEachMessageOnce) {
    int pipes[2];
    ASSERT_EQ(::pipe(pipes), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(pipes[0]);
        queueFiveAndHang(m_path, pipes[1]);
    }
    ::close(pipes[1]);
    const std::vector<std::string> lines = linesUntilSending(pipes[0]);
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ::close(pipes[0]);
    EXPECT_TRUE(WIFSIGNALED(status));

    std::set<std::string> queued;
    for (const std::string& line : lines)
        if (line.starts_with("queued "))
            queued.insert(line.substr(7));
    ASSERT_EQ(queued.size(), 5u);

    m_outbox = makeOutbox();
    ASSERT_TRUE(m_script->waitFor([&] { return m_script->ids.size() >= 5; }));
    ASSERT_TRUE(waitForState(0, std::nullopt));
    // Told a moment after the last message left the outbox.
    ASSERT_TRUE(waitForReports(OutboxReport::Kind::DeliveredLate, 5));
    const std::lock_guard lock(m_script->mutex);
    EXPECT_EQ(m_script->ids.size(), 5u);
    EXPECT_EQ(std::set<std::string>(m_script->ids.begin(), m_script->ids.end()), queued);
    for (std::size_t index = 0; index < m_script->pictureSizes.size(); ++index)
        EXPECT_GE(m_script->pictureSizes[index], 20'000u);
    EXPECT_EQ(reported(OutboxReport::Kind::DeliveredLate).size(), 5u);
    EXPECT_EQ(filesInFolder(), 0u);
}

}  // namespace
