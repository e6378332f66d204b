#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "outputs/alertmessage.h"

// The dialog's test message of one channel: marked as a test, with an id of its own, so that
// a receiver that drops duplicates never takes it for an alarm's.
AlertMessage makeTestMessage(AlertChannel channel, WatchEvent event, std::string picture,
                             std::string profile, std::int64_t wallMs);

// What "Testnachricht senden" found out: the server's answer and how long it took.
struct TestSendResult {
    Delivery delivery;
    double seconds = 0.0;
};

// Sends the message once, straight through `sender`, past the outbox: the user waits for the
// answer, and a test that failed is no alarm to be kept. Blocks for as long as the sender's
// own time limits allow: for a worker thread.
TestSendResult sendTestMessage(
    AlertSender& sender, const AlertMessage& message,
    const std::function<std::chrono::steady_clock::time_point()>& now = [] {
        return std::chrono::steady_clock::now();
    });

// "zugestellt in 0,4 s", or "nicht zugestellt: " and the reason; `done` and `failed` in their
// places where the test is no message.
std::string testSendText(const TestSendResult& result, const std::string& done = "zugestellt",
                         const std::string& failed = "nicht zugestellt");
