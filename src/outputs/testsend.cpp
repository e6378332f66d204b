#include "outputs/testsend.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "outputs/alertid.h"

AlertMessage makeTestMessage(AlertChannel channel, WatchEvent event, std::string picture,
                             std::string profile, std::int64_t wallMs) {
    AlertMessage message;
    message.id = newAlertId(wallMs);
    message.channel = channel;
    message.createdMs = wallMs;
    message.event = std::move(event);
    message.picture = std::move(picture);
    message.test = true;
    message.profile = std::move(profile);
    return message;
}

TestSendResult sendTestMessage(AlertSender& sender, const AlertMessage& message,
                               const std::function<std::chrono::steady_clock::time_point()>& now) {
    const auto start = now();
    TestSendResult result{sender.send(message), 0.0};
    result.seconds = std::chrono::duration<double>(now() - start).count();
    return result;
}

std::string testSendText(const TestSendResult& result, const std::string& done,
                         const std::string& failed) {
    if (result.delivery.outcome != Delivery::Outcome::Delivered) {
        const std::string& reason = result.delivery.reason;
        return failed + ": " + (reason.empty() ? std::string("ohne Angabe eines Grundes") : reason);
    }
    // Tenths of a second, with the German decimal comma.
    const long tenths = std::lround(std::max(result.seconds, 0.0) * 10.0);
    return done + " in " + std::to_string(tenths / 10) + "," + std::to_string(tenths % 10) + " s";
}
