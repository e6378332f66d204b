#pragma once

#include <openssl/types.h>

#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "outputs/alertmessage.h"

// A SHA-256 fingerprint as `openssl x509 -fingerprint -sha256` prints it: 32 uppercase hex pairs
// separated by colons.
std::string certificateFingerprint(X509* certificate);

// Whether a fingerprint the user stored names the certificate of `shown`: case and colons do not
// matter; anything that is not 32 bytes in hex matches nothing.
bool sameFingerprint(std::string_view pinned, std::string_view shown);

struct SslContextDeleter {
    void operator()(SSL_CTX* context) const;
};
using SslContext = std::unique_ptr<SSL_CTX, SslContextDeleter>;

// A client's context that trusts the system's certificate authorities, TLS 1.2 at least; null
// when OpenSSL cannot make one.
SslContext newSystemTrustContext();

// How one channel takes a server's certificate: when the system's authorities vouch for it and
// for the name of `host`, or when it is the one the user pinned, whatever its name and issuer
// (the fingerprint names that server's certificate exactly). Any other certificate ends the
// handshake and is kept, so that the user can be asked whether to trust it. Verification is
// never switched off.
class CertificatePin {
public:
    // `pinned`: the fingerprint the user trusts, empty for none; `host`: the name or address
    // connected to, an IPv6 address with or without brackets.
    CertificatePin(std::string pinned, std::string host);
    CertificatePin(const CertificatePin&) = delete;
    CertificatePin& operator=(const CertificatePin&) = delete;

    const std::string& pinned() const { return m_pinned; }

    // Makes every connection of `context` check its server's certificate so. The pin must
    // outlive the context's connections. False when the host's name cannot be set.
    bool guard(SSL_CTX* context);

    // The fingerprint of the certificate refused last, since the pin was made or forgot it;
    // empty when none was.
    std::string refusedCertificate() const;
    // Refused, carrying that fingerprint, and why in German words: unknown, or not the pinned.
    Delivery refusal() const;
    // A handshake that succeeded makes an earlier refusal history.
    void forget();

private:
    static int verify(int preverified, X509_STORE_CTX* store);

    const std::string m_pinned;
    const std::string m_host;
    // Written by the TLS handshake, on whatever thread the library runs it, read by the sender.
    mutable std::mutex m_mutex;
    std::string m_refused;
};
