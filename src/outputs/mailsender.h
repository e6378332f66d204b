#pragma once

#include <atomic>
#include <chrono>
#include <string>

#include "outputs/alertmessage.h"

// The mail channel's options.
struct MailSettings {
    std::string server;  // a host name or address
    int port = 0;        // 0: the usual port of the security (25, 587 or 465)
    int security = 1;    // 0 none, 1 STARTTLS (required), 2 SMTPS
    std::string user;    // empty: no login
    std::string password;
    std::string sender;
    std::string recipients;  // comma-separated
    int clipLimitMb = 0;     // the largest clip attached, in MB; 0 never attaches one
    // The SHA-256 fingerprint of the server's certificate the user trusts, besides those the
    // system's authorities vouch for; empty: none.
    std::string pinnedCertificate;
};

// The remote alarm by e-mail: each message one mail, handed to the SMTP server with libcurl.
// Delivered only once the server has answered the mail's data.
class MailSender : public AlertSender {
public:
    static constexpr std::chrono::seconds kStallLimit{30};

    // `stall`: how long a server may keep silent, or the transfer stand still, before the
    // message is given up for now.
    explicit MailSender(MailSettings settings, std::chrono::seconds stall = kStallLimit);

    Delivery send(const AlertMessage& message) override;
    void abandon() override { m_abandoned = true; }

private:
    const MailSettings m_settings;
    const std::chrono::seconds m_stall;
    std::atomic<bool> m_abandoned{false};
};
