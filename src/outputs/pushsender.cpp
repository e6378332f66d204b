#include "outputs/pushsender.h"

#include <time.h>

#include <array>
#include <cstdio>

#include "outputs/alerttext.h"
#include "outputs/base64.h"
#include "outputs/curltransfer.h"
#include "outputs/mailmessage.h"
#include "settings/utf8.h"

namespace {

using Kind = WatchEvent::Kind;

std::string jsonString(std::string_view text) {
    std::string quoted = "\"";
    for (std::size_t at = 0; at < text.size();) {
        const Utf8Character character = firstUtf8Character(text.substr(at));
        if (character.length == 0) {
            quoted += '?';
            ++at;
            continue;
        }
        if (character.codePoint == '"' || character.codePoint == '\\') {
            quoted += '\\';
            quoted += text[at];
        } else if (character.codePoint < 0x20) {
            std::array<char, 8> escaped{};
            std::snprintf(escaped.data(), escaped.size(), "\\u%04x",
                          static_cast<unsigned>(character.codePoint));
            quoted += escaped.data();
        } else {
            quoted.append(text.substr(at, character.length));
        }
        at += character.length;
    }
    return quoted + '"';
}

std::string isoTime(std::int64_t createdMs) {
    const std::time_t seconds = static_cast<std::time_t>(createdMs / 1000);
    struct tm local {};
    if (!::localtime_r(&seconds, &local))
        return "null";
    const long offsetMinutes = local.tm_gmtoff / 60;
    const long absolute = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    std::array<char, 128> text{};
    std::snprintf(text.data(), text.size(), "\"%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld\"",
                  local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                  local.tm_min, local.tm_sec, offsetMinutes < 0 ? '-' : '+', absolute / 60,
                  absolute % 60);
    return text.data();
}

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

std::string pushJson(const AlertMessage& message) {
    const WatchEvent& event = message.event;
    const bool trigger = event.kind == Kind::Trigger;
    const std::string clip = alertClipName(message);
    std::string json = "{\"id\":" + jsonString(message.id) +
                       ",\"event\":" + jsonString(alertEventWord(message)) +
                       ",\"time\":" + isoTime(message.createdMs) + ",\"share\":";
    if (trigger) {
        std::array<char, 32> share{};
        std::snprintf(share.data(), share.size(), "%.1f", static_cast<double>(event.changePercent));
        json += share.data();
    } else {
        json += "null";
    }
    json += ",\"camera\":" + (message.profile.empty() ? "null" : jsonString(message.profile));
    json += ",\"files\":[" + (clip.empty() ? "" : jsonString(clip)) + "]";
    json += ",\"count\":" + (trigger && event.effect == WatchEvent::Effect::Counted
                                 ? std::to_string(event.count)
                                 : "null");
    json += ",\"further_triggers\":" + std::to_string(message.furtherTriggers);
    json +=
        ",\"picture\":" + (message.picture.empty() ? "null" : '"' + base64(message.picture) + '"') +
        "}";
    return json;
}

bool buildJson(const AlertMessage& message, Request& request) {
    request.body = pushJson(message);
    return addHeader(request, "Content-Type: application/json");
}

Delivery answerOf(long status) {
    const std::string code = "HTTP " + std::to_string(status);
    if (status >= 200 && status < 300)
        return {Delivery::Outcome::Delivered, {}};
    if (status == 401 || status == 403)
        return {Delivery::Outcome::Refused, "Anmeldung abgelehnt (" + code + ")"};
    if (status >= 500 || status == 408 || status == 429)
        return {Delivery::Outcome::TryAgain, "Server zurzeit gestört (" + code + ")"};
    return {Delivery::Outcome::Refused, "Server lehnt ab (" + code + ")"};
}

}  // namespace

PushSender::PushSender(PushSettings settings, std::chrono::seconds stall)
    : m_settings(std::move(settings)), m_stall(stall) {}

Delivery PushSender::send(const AlertMessage& message) {
    if (!m_settings.url.starts_with("http://") && !m_settings.url.starts_with("https://"))
        return {Delivery::Outcome::Refused, "keine gültige Adresse angegeben"};
    CurlEasy easy = newCurlEasy();
    Request request;
    const bool built = easy && (m_settings.format == 1 ? buildJson(message, request)
                                                       : buildNtfy(message, request));
    const std::string token = headerValue(m_settings.token);
    if (!built || !addHeader(request, "X-Sentello-Id: " + headerValue(message.id)) ||
        (!m_settings.token.empty() && !addHeader(request, "Authorization: Bearer " + token)) ||
        !addHeader(request, "Expect:"))
        return {Delivery::Outcome::TryAgain, "kein Speicher frei"};

    CURL* e = easy.get();
    limitAndVerify(e, m_stall, m_settings.caFile);
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
        return failedTransfer(result, {});
    long status = 0;
    curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &status);
    return answerOf(status);
}
