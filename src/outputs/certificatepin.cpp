#include "outputs/certificatepin.h"

#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <array>
#include <cctype>

namespace {

constexpr std::size_t kDigestBytes = 32;

// The fingerprint's hex digits in upper case, without colons; empty when it is no SHA-256
// fingerprint.
std::string hexDigits(std::string_view fingerprint) {
    std::string digits;
    for (const char c : fingerprint) {
        if (c == ':')
            continue;
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return {};
        digits += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return digits.size() == 2 * kDigestBytes ? digits : std::string();
}

// Where a context keeps its pin; the same for every context of the program.
int pinIndex() {
    static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

}  // namespace

std::string certificateFingerprint(X509* certificate) {
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    if (!certificate || X509_digest(certificate, EVP_sha256(), digest.data(), &length) != 1)
        return {};
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string fingerprint;
    for (unsigned int i = 0; i < length; ++i) {
        if (i > 0)
            fingerprint += ':';
        fingerprint += kHex[digest[i] >> 4];
        fingerprint += kHex[digest[i] & 0xf];
    }
    return fingerprint;
}

bool sameFingerprint(std::string_view pinned, std::string_view shown) {
    const std::string digits = hexDigits(pinned);
    return !digits.empty() && digits == hexDigits(shown);
}

void SslContextDeleter::operator()(SSL_CTX* context) const {
    SSL_CTX_free(context);
}

SslContext newSystemTrustContext() {
    SslContext context(SSL_CTX_new(TLS_client_method()));
    if (!context || SSL_CTX_set_default_verify_paths(context.get()) != 1 ||
        SSL_CTX_set_min_proto_version(context.get(), TLS1_2_VERSION) != 1)
        return nullptr;
    return context;
}

CertificatePin::CertificatePin(std::string pinned, std::string host)
    : m_pinned(std::move(pinned)), m_host(std::move(host)) {}

bool CertificatePin::guard(SSL_CTX* context) {
    // OpenSSL checks the name as part of the chain, so that a certificate an authority vouches
    // for, but for another name, is refused like any unknown one, for every channel alike.
    std::string host = m_host;
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    X509_VERIFY_PARAM* parameters = SSL_CTX_get0_param(context);
    const bool named =
        !host.empty() && (X509_VERIFY_PARAM_set1_ip_asc(parameters, host.c_str()) == 1 ||
                          X509_VERIFY_PARAM_set1_host(parameters, host.c_str(), host.size()) == 1);
    if (!named || SSL_CTX_set_ex_data(context, pinIndex(), this) != 1)
        return false;
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, verify);
    return true;
}

int CertificatePin::verify(int preverified, X509_STORE_CTX* store) {
    const auto* ssl = static_cast<const SSL*>(
        X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    auto* pin =
        ssl ? static_cast<CertificatePin*>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), pinIndex()))
            : nullptr;
    if (!pin)
        return 0;
    if (preverified == 1)
        return 1;
    // Whatever failed, at whatever depth of the chain: the server's own certificate decides.
    const std::string shown = certificateFingerprint(X509_STORE_CTX_get0_cert(store));
    if (!shown.empty() && sameFingerprint(pin->m_pinned, shown)) {
        // The library that runs the handshake may ask for the chain's result afterwards.
        X509_STORE_CTX_set_error(store, X509_V_OK);
        return 1;
    }
    std::lock_guard lock(pin->m_mutex);
    pin->m_refused = shown;
    return 0;
}

std::string CertificatePin::refusedCertificate() const {
    std::lock_guard lock(m_mutex);
    return m_refused;
}

Delivery CertificatePin::refusal() const {
    return {Delivery::Outcome::Refused,
            m_pinned.empty()
                ? "Zertifikat des Servers unbekannt: weder von einer Zertifizierungsstelle "
                  "bestätigt noch als vertrauenswürdig gespeichert"
                : "Zertifikat des Servers geändert: nicht mehr das als vertrauenswürdig "
                  "gespeicherte",
            refusedCertificate()};
}

void CertificatePin::forget() {
    std::lock_guard lock(m_mutex);
    m_refused.clear();
}
