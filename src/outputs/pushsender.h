#pragma once

#include <atomic>
#include <chrono>
#include <string>

#include "outputs/alertmessage.h"

// The push channel's options.
struct PushSettings {
    std::string url;    // http:// or https://
    std::string token;  // empty: none; otherwise sent as "Authorization: Bearer <token>"
    int format = 0;     // 0 ntfy, 1 JSON web hook
    // The SHA-256 fingerprint of the server's certificate the user trusts, besides those the
    // system's authorities vouch for; empty: none.
    std::string pinnedCertificate;
};

// The remote alarm as an HTTP POST, in ntfy's form (the picture as the body, the words in
// headers) or as JSON for a web hook: {"id", "event" (a stable English word), "time" (ISO 8601
// with the local offset), "share", "camera" (the profile's name), "files" (the clip's name),
// "count", "further_triggers", "picture" (Base64 or null)}. Both carry the id as the header
// "X-Sentello-Id". Delivered on an answer of 2xx only; refused on 401 and 403 and on an unknown
// certificate.
class PushSender : public AlertSender {
public:
    static constexpr std::chrono::seconds kStallLimit{30};

    // `stall`: how long a server may keep silent, or the transfer stand still, before the
    // message is given up for now.
    explicit PushSender(PushSettings settings, std::chrono::seconds stall = kStallLimit);

    Delivery send(const AlertMessage& message) override;
    void abandon() override { m_abandoned = true; }

private:
    const PushSettings m_settings;
    const std::chrono::seconds m_stall;
    std::atomic<bool> m_abandoned{false};
};
