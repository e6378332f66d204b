#pragma once

#include <cstdint>
#include <string>

#include "outputs/watchevent.h"

// The ways an alarm leaves the house, and the copies of its pictures and clips on a server
// off the premises (a channel each, so that a picture never waits behind a large clip).
enum class AlertChannel { Mail, Push, Mqtt, CopyPicture, CopyClip };

// One message of the remote alarm to one channel, as the outbox keeps it until the channel's
// server has taken it. The channel makes its own form of it (a mail, a POST, MQTT topics) when
// it sends, so a message waits in the outbox in one form for every channel.
struct AlertMessage {
    // Unique for ever; it travels with the message (Message-ID, an HTTP header, a JSON field),
    // so that a receiver can drop the one second copy a crash between "taken" and "removed"
    // can cause.
    std::string id;
    AlertChannel channel = AlertChannel::Mail;
    // When the event happened, by the wall clock: milliseconds since 1970, UTC.
    std::int64_t createdMs = 0;
    WatchEvent event;
    // Triggers held back since this channel's last trigger message ("und 4 weitere
    // Auslösungen").
    int furtherTriggers = 0;
    // The captioned JPEG of the moment; empty when there is none, or when a full outbox dropped
    // it (the text stays).
    std::string picture;
    // "Testnachricht senden" from the dialog.
    bool test = false;
    // The channel does not send this kind of event but keeps a state by it (MQTT's motion and
    // camera): only the state goes.
    bool stateOnly = false;
    // The profile's name, when one is used; empty otherwise.
    std::string profile;
};

// What a channel's server made of a message.
struct Delivery {
    enum class Outcome {
        // Taken: SMTP's answer to the data, an HTTP 2xx, MQTT's acknowledgement at QoS 1.
        Delivered,
        // Not now (no connection, a server error, a stall): tried again after a growing pause.
        TryAgain,
        // A refused login or certificate: tried again slowly, and shown to the user.
        Refused,
        // What the message stands for is gone (a clip deleted meanwhile): dropped and shown.
        Gone,
    };
    Outcome outcome = Outcome::TryAgain;
    // Why it was not delivered, in German words for the user; CR, LF and control characters of
    // a server's text already replaced.
    std::string reason;
    // The SHA-256 fingerprint of a certificate the server showed that neither the system's
    // authorities nor the user's pin vouch for ("AB:CD:…", as openssl prints it), for the
    // dialog to ask "Zertifikat von … vertrauen?"; empty otherwise.
    std::string unknownCertificate;
};

// One channel: sends a message and says what its server made of it. Called on the outbox's
// worker thread only, one message at a time; it may block for as long as its own time limits
// allow, never for ever.
class AlertSender {
public:
    virtual ~AlertSender() = default;
    virtual Delivery send(const AlertMessage& message) = 0;
    // From another thread, when the outbox ends: a send under way ends at once, and every later
    // one, with TryAgain, so that the message waits in the folder for the next start instead of
    // holding up the program's end for the server's time limit.
    virtual void abandon() = 0;
};
