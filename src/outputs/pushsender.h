#pragma once

#include <chrono>
#include <string>

#include "outputs/alertmessage.h"

// The push channel's options.
struct PushSettings {
    std::string url;     // http:// or https://
    std::string token;   // empty: none; otherwise sent as "Authorization: Bearer <token>"
    int format = 0;      // 0 ntfy, 1 JSON web hook
    std::string caFile;  // empty: the system's certificate authorities
};

// The body of a message in the JSON form: {"id", "event", "time" (ISO 8601 with the local
// offset), "share", "camera", "files", "count", "further_triggers", "picture" (Base64 or null)}.
std::string pushJson(const AlertMessage& message);

// The remote alarm as an HTTP POST, in ntfy's form (the picture as the body, the words in
// headers) or as JSON for a web hook. Delivered on an answer of 2xx only.
class PushSender : public AlertSender {
public:
    static constexpr std::chrono::seconds kStallLimit{30};

    // `stall`: how long a server may keep silent, or the transfer stand still, before the
    // message is given up for now.
    explicit PushSender(PushSettings settings, std::chrono::seconds stall = kStallLimit);

    Delivery send(const AlertMessage& message) override;

private:
    const PushSettings m_settings;
    const std::chrono::seconds m_stall;
};
