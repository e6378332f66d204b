#include "outputs/mailmessage.h"

#include <time.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "detection/datetemplate.h"
#include "outputs/alerttext.h"
#include "outputs/base64.h"
#include "settings/utf8.h"

namespace {

constexpr std::size_t kWordBytes = 45;  // 60 Base64 characters: 75 with "=?UTF-8?B?" and "?="
constexpr std::size_t kBase64Line = 76;
constexpr std::uintmax_t kMegabyte = 1024 * 1024;
constexpr const char* kCrLf = "\r\n";

// Header values never carry a line break of their own: it would begin a header of its sender's
// choosing.
std::string oneLine(std::string_view text) {
    std::string line;
    for (const char c : text)
        line += static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? ' ' : c;
    return line;
}

bool isPrintableAscii(std::string_view text) {
    for (const char c : text)
        if (c < 0x20 || c > 0x7e)
            return false;
    return true;
}

std::string wrappedBase64(std::string_view bytes) {
    const std::string text = base64(bytes);
    std::string lines;
    lines.reserve(text.size() + text.size() / kBase64Line * 2 + 2);
    for (std::size_t at = 0; at < text.size(); at += kBase64Line) {
        lines.append(text, at, kBase64Line);
        lines += kCrLf;
    }
    return lines;
}

// Characters of a dot-atom, so that the id makes a valid Message-ID whatever it holds.
std::string atomOf(std::string_view id) {
    std::string atom;
    for (const char c : id) {
        const bool alphanumeric =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        atom +=
            alphanumeric || std::string_view("-_.+=").find(c) != std::string_view::npos ? c : '_';
    }
    return atom.empty() ? "_" : atom;
}

// A file name as a MIME parameter: quoted when it is plain ASCII, RFC 2231 otherwise.
std::string fileNameParameter(const std::string& name) {
    if (isPrintableAscii(name) && name.find_first_of("\"\\") == std::string::npos)
        return "filename=\"" + name + "\"";
    std::string escaped = "filename*=UTF-8''";
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                           (byte >= '0' && byte <= '9') || c == '.' || c == '-' || c == '_';
        if (plain) {
            escaped += c;
            continue;
        }
        std::array<char, 4> hex{};
        std::snprintf(hex.data(), hex.size(), "%%%02X", byte);
        escaped += hex.data();
    }
    return escaped;
}

std::string contentTypeOf(const std::string& name) {
    const std::string extension = std::filesystem::path(name).extension().string();
    if (extension == ".avi")
        return "video/x-msvideo";
    if (extension == ".mp4")
        return "video/mp4";
    if (extension == ".mkv")
        return "video/x-matroska";
    return "application/octet-stream";
}

struct Attachment {
    std::string name;
    std::string contentType;
    std::string bytes;
};

// The clip as an attachment when it is within the limit, and what the text says of it.
std::string attachClip(const std::string& path, int clipLimitMb,
                       std::vector<Attachment>& attachments) {
    const std::string name = std::filesystem::path(path).filename().string();
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (error)
        return "Video „" + name + "“: nicht mehr vorhanden";
    const std::string sized = "Video „" + name + "“ (" + megabytesText(size) + ")";
    if (clipLimitMb <= 0)
        return sized + ", nicht angehängt";
    const std::uintmax_t limit = static_cast<std::uintmax_t>(clipLimitMb) * kMegabyte;
    if (size > limit)
        return sized + ", nicht angehängt: größer als " + std::to_string(clipLimitMb) + " MB";
    std::ifstream in(path, std::ios::binary);
    std::string bytes(std::istreambuf_iterator<char>(in), {});
    if (!in.is_open() || in.bad())
        return sized + ", nicht lesbar";
    attachments.push_back({name, contentTypeOf(name), std::move(bytes)});
    return sized + ", angehängt";
}

std::string part(const std::string& boundary, const std::string& headers, std::string_view bytes) {
    return "--" + boundary + kCrLf + headers + "Content-Transfer-Encoding: base64" + kCrLf + kCrLf +
           wrappedBase64(bytes);
}

}  // namespace

std::vector<std::string> mailRecipients(std::string_view commaSeparated) {
    std::vector<std::string> recipients;
    for (std::size_t begin = 0; begin <= commaSeparated.size();) {
        const std::size_t end = std::min(commaSeparated.find(',', begin), commaSeparated.size());
        std::string_view address = commaSeparated.substr(begin, end - begin);
        while (!address.empty() && (address.front() == ' ' || address.front() == '\t'))
            address.remove_prefix(1);
        while (!address.empty() && (address.back() == ' ' || address.back() == '\t'))
            address.remove_suffix(1);
        if (!address.empty())
            recipients.push_back(oneLine(address));
        begin = end + 1;
    }
    return recipients;
}

std::string encodedHeaderText(std::string_view text, std::string_view separator) {
    if (isPrintableAscii(text))
        return std::string(text);
    std::string encoded;
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t end = begin;
        while (end < text.size()) {
            const std::size_t length =
                std::max<std::size_t>(1, firstUtf8Character(text.substr(end)).length);
            if (end + length - begin > kWordBytes)
                break;
            end += length;
        }
        if (!encoded.empty())
            encoded += separator;
        encoded += "=?UTF-8?B?" + base64(text.substr(begin, end - begin)) + "?=";
        begin = end;
    }
    return encoded;
}

std::string mailDate(std::int64_t createdMs) {
    static constexpr std::array<const char*, 7> kDays = {"Sun", "Mon", "Tue", "Wed",
                                                         "Thu", "Fri", "Sat"};
    static constexpr std::array<const char*, 12> kMonths = {
        "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::time_t seconds = static_cast<std::time_t>(createdMs / 1000);
    struct tm local {};
    if (!::localtime_r(&seconds, &local))
        return {};
    const long offsetMinutes = local.tm_gmtoff / 60;
    const long absolute = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    std::array<char, 128> text{};
    std::snprintf(text.data(), text.size(), "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld",
                  kDays.at(static_cast<std::size_t>(local.tm_wday)), local.tm_mday,
                  kMonths.at(static_cast<std::size_t>(local.tm_mon)), local.tm_year + 1900,
                  local.tm_hour, local.tm_min, local.tm_sec, offsetMinutes < 0 ? '-' : '+',
                  absolute / 60, absolute % 60);
    return text.data();
}

std::string mailSubject(const AlertMessage& message) {
    std::string subject =
        alertTitle(message) + " – " + formatDateTemplate(kDateTimeTemplate, message.event.when);
    if (!message.profile.empty())
        subject += " – " + message.profile;
    return subject;
}

std::string megabytesText(std::uintmax_t bytes) {
    const std::uintmax_t tenths = (bytes * 10 + kMegabyte / 2) / kMegabyte;
    return std::to_string(tenths / 10) + "," + std::to_string(tenths % 10) + " MB";
}

std::string composeMail(const AlertMessage& message, const MailAddresses& addresses,
                        int clipLimitMb) {
    std::vector<Attachment> attachments;
    if (!message.picture.empty())
        attachments.push_back({"sentello.jpg", "image/jpeg", message.picture});
    std::vector<std::string> lines = alertLines(message);
    if (message.event.kind == WatchEvent::Kind::ClipFinished && !message.event.clipPath.empty())
        lines.push_back(attachClip(message.event.clipPath, clipLimitMb, attachments));
    std::string text;
    for (const std::string& line : lines)
        text += line + kCrLf;

    std::string recipients;
    for (const std::string& recipient : addresses.recipients)
        recipients += (recipients.empty() ? "" : ", ") + oneLine(recipient);
    std::string mail = "Date: " + mailDate(message.createdMs) + kCrLf +
                       "From: " + oneLine(addresses.sender) + kCrLf + "To: " + recipients + kCrLf +
                       "Subject: " + encodedHeaderText(oneLine(mailSubject(message)), "\r\n ") +
                       kCrLf + "Message-ID: <" + atomOf(message.id) + "@sentello>" + kCrLf +
                       "MIME-Version: 1.0" + kCrLf;
    const std::string textType = "Content-Type: text/plain; charset=UTF-8\r\n";
    if (attachments.empty())
        return mail + textType + "Content-Transfer-Encoding: base64" + kCrLf + kCrLf +
               wrappedBase64(text);

    // No line of Base64 begins with "--", so no part holds the boundary.
    const std::string boundary = "=_sentello_" + atomOf(message.id).substr(0, 40);
    mail += "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"" + kCrLf + kCrLf;
    mail += part(boundary, textType, text);
    for (const Attachment& attachment : attachments)
        mail += part(boundary,
                     "Content-Type: " + attachment.contentType + kCrLf +
                         "Content-Disposition: attachment; " + fileNameParameter(attachment.name) +
                         kCrLf,
                     attachment.bytes);
    return mail + "--" + boundary + "--" + kCrLf;
}
