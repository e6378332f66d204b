#include "outputs/pushsender.h"

#include <memory>

#include "outputs/alerttext.h"
#include "outputs/curltransfer.h"
#include "outputs/mailmessage.h"

namespace {

using Kind = WatchEvent::Kind;

std::string joinedLines(const AlertMessage& message) {
    std::string text;
    for (const std::string& line : alertLines(message))
        text += (text.empty() ? "" : "\n") + line;
    return text;
}

// ntfy's tag of each kind, which it shows as an emoji.
const char* ntfyTags(const AlertMessage& message) {
    if (message.test)
        return "white_check_mark";
    switch (message.event.kind) {
        case Kind::Trigger:
            return "rotating_light";
        case Kind::ClipFinished:
            return "movie_camera";
        case Kind::CameraBack:
        case Kind::Uploaded:
            return "white_check_mark";
        case Kind::WatchSwitched:
            return message.event.on ? "lock" : "unlock";
        case Kind::ProgramStart:
        case Kind::ProgramEnd:
        case Kind::ClipDeleted:
            return "information_source";
        default:
            return "warning";
    }
}

// Header values lose their line breaks and anything else that would end the header early.
std::string headerValue(std::string_view text) {
    return encodedHeaderText(text, " ");
}

struct Request {
    CurlList headers;
    std::string body;
};

bool addHeader(Request& request, const std::string& line) {
    return appendToList(request.headers, line);
}

bool buildNtfy(const AlertMessage& message, Request& request) {
    const bool trigger = message.event.kind == Kind::Trigger && !message.test;
    const bool built =
        addHeader(request, "Title: " + headerValue(alertTitle(message))) &&
        addHeader(request, std::string("Tags: ") + ntfyTags(message)) &&
        addHeader(request, std::string("Priority: ") + (trigger ? "high" : "default"));
    if (message.picture.empty()) {
        request.body = joinedLines(message);
        return built && addHeader(request, "Content-Type: text/plain; charset=utf-8");
    }
    request.body = message.picture;
    return built && addHeader(request, "Message: " + headerValue(joinedLines(message))) &&
           addHeader(request, "Filename: sentello.jpg") &&
           addHeader(request, "Content-Type: image/jpeg");
}

bool buildJson(const AlertMessage& message, Request& request) {
    request.body = alertJson(message, true);
    return addHeader(request, "Content-Type: application/json");
}

Delivery answerOf(long status) {
    const std::string code = "HTTP " + std::to_string(status);
    if (status >= 200 && status < 300)
        return {Delivery::Outcome::Delivered, {}, {}};
    if (status == 401 || status == 403)
        return {Delivery::Outcome::Refused, "Anmeldung abgelehnt (" + code + ")", {}};
    if (status >= 500 || status == 408 || status == 429)
        return {Delivery::Outcome::TryAgain, "Server zurzeit gestört (" + code + ")", {}};
    return {Delivery::Outcome::Refused, "Server lehnt ab (" + code + ")", {}};
}

// The host of the address as libcurl reads it, for the certificate's name; empty when it has none.
std::string urlHost(const std::string& url) {
    const std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> parts(curl_url(), curl_url_cleanup);
    char* host = nullptr;
    if (!parts || curl_url_set(parts.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK ||
        curl_url_get(parts.get(), CURLUPART_HOST, &host, 0) != CURLUE_OK)
        return {};
    std::string name(host);
    curl_free(host);
    return name;
}

}  // namespace

PushSender::PushSender(PushSettings settings, std::chrono::seconds stall)
    : m_settings(std::move(settings)), m_stall(stall) {}

Delivery PushSender::send(const AlertMessage& message) {
    if (!m_settings.url.starts_with("http://") && !m_settings.url.starts_with("https://"))
        return {Delivery::Outcome::Refused, "keine gültige Adresse angegeben", {}};
    CurlEasy easy = newCurlEasy();
    Request request;
    const bool built = easy && (m_settings.format == 1 ? buildJson(message, request)
                                                       : buildNtfy(message, request));
    const std::string token = headerValue(m_settings.token);
    if (!built || !addHeader(request, "X-Sentello-Id: " + headerValue(message.id)) ||
        (!m_settings.token.empty() && !addHeader(request, "Authorization: Bearer " + token)) ||
        !addHeader(request, "Expect:"))
        return {Delivery::Outcome::TryAgain, "kein Speicher frei", {}};

    CertificatePin pin(m_settings.pinnedCertificate, urlHost(m_settings.url));
    CURL* e = easy.get();
    limitAndVerify(e, m_stall, pin);
    stopWhen(e, &m_abandoned);
    curl_easy_setopt(e, CURLOPT_URL, m_settings.url.c_str());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    // A redirect is never followed: the token and the picture go to the address given alone.
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(e, CURLOPT_USERAGENT, "Sentello");
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, request.headers.get());
    curl_easy_setopt(e, CURLOPT_POSTFIELDS, request.body.data());
    curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
    curl_easy_setopt(
        e, CURLOPT_WRITEFUNCTION,
        +[](char*, std::size_t size, std::size_t count, void*) { return size * count; });
    const CURLcode result = curl_easy_perform(e);
    if (result != CURLE_OK)
        return failedTransfer(result, {}, pin);
    long status = 0;
    curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &status);
    return answerOf(status);
}
