#include "outputs/mailsender.h"

#include <new>
#include <string_view>

#include "outputs/curltransfer.h"
#include "outputs/mailmessage.h"

namespace {

// Keeps the server's refusal of the last command (4xx or 5xx) until a later command succeeds;
// the goodbye to the QUIT that follows a refusal ("221") keeps it. Only what comes in is looked
// at: what goes out holds the login.
int noteRefusal(CURL*, curl_infotype type, char* data, std::size_t size, void* refusal) {
    if (type != CURLINFO_HEADER_IN || size == 0)
        return 0;
    const std::string_view line(data, size);
    if (line.starts_with('4') || line.starts_with('5'))
        static_cast<std::string*>(refusal)->assign(line);
    else if (!line.starts_with("221"))
        static_cast<std::string*>(refusal)->clear();
    return 0;
}

std::string mailAddress(const MailSettings& settings) {
    const int port = settings.port > 0        ? settings.port
                     : settings.security == 2 ? 465
                     : settings.security == 1 ? 587
                                              : 25;
    const bool bareIpv6 =
        settings.server.find(':') != std::string::npos && !settings.server.starts_with('[');
    const std::string host = bareIpv6 ? '[' + settings.server + ']' : settings.server;
    return (settings.security == 2 ? "smtps://" : "smtp://") + host + ':' + std::to_string(port);
}

Delivery refused(const char* reason) {
    return {Delivery::Outcome::Refused, reason, {}};
}

}  // namespace

MailSender::MailSender(MailSettings settings, std::chrono::seconds stall)
    : m_settings(std::move(settings)), m_stall(stall) {}

Delivery MailSender::send(const AlertMessage& message) {
    if (m_settings.server.empty() || m_settings.server.find('/') != std::string::npos)
        return refused("kein gültiger Server angegeben");
    const MailAddresses addresses{m_settings.sender, mailRecipients(m_settings.recipients)};
    if (addresses.sender.empty())
        return refused("kein Absender angegeben");
    if (addresses.recipients.empty())
        return refused("kein Empfänger angegeben");
    CurlEasy easy = newCurlEasy();
    CurlList recipients;
    for (const std::string& recipient : addresses.recipients)
        if (!easy || !appendToList(recipients, '<' + recipient + '>'))
            return {Delivery::Outcome::TryAgain, "kein Speicher frei", {}};

    std::string mail;
    try {
        mail = composeMail(message, addresses, m_settings.clipLimitMb);
    } catch (const std::bad_alloc&) {
        return {Delivery::Outcome::TryAgain, "kein Speicher frei", {}};
    }
    CurlReading reading{mail};
    std::string refusal;
    const std::string address = mailAddress(m_settings);
    const std::string from = '<' + addresses.sender + '>';
    CertificatePin pin(m_settings.pinnedCertificate, m_settings.server);
    CURL* e = easy.get();
    limitAndVerify(e, m_stall, pin);
    stopWhen(e, &m_abandoned);
    curl_easy_setopt(e, CURLOPT_URL, address.c_str());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    curl_easy_setopt(e, CURLOPT_USE_SSL,
                     m_settings.security == 1 ? CURLUSESSL_ALL : CURLUSESSL_NONE);
    if (!m_settings.user.empty()) {
        curl_easy_setopt(e, CURLOPT_USERNAME, m_settings.user.c_str());
        curl_easy_setopt(e, CURLOPT_PASSWORD, m_settings.password.c_str());
    }
    curl_easy_setopt(e, CURLOPT_MAIL_FROM, from.c_str());
    curl_easy_setopt(e, CURLOPT_MAIL_RCPT, recipients.get());
    curl_easy_setopt(e, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(e, CURLOPT_READFUNCTION, readCurlReading);
    curl_easy_setopt(e, CURLOPT_READDATA, &reading);
    curl_easy_setopt(e, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(mail.size()));
    // The debug callback alone hears what libcurl tells: nothing goes to the terminal.
    curl_easy_setopt(e, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(e, CURLOPT_DEBUGFUNCTION, noteRefusal);
    curl_easy_setopt(e, CURLOPT_DEBUGDATA, &refusal);
    const CURLcode result = curl_easy_perform(e);
    if (result == CURLE_OK)
        return {Delivery::Outcome::Delivered, {}, {}};
    return failedTransfer(result, refusal, pin);
}
