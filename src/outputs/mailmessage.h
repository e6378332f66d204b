#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "outputs/alertmessage.h"

// The mail of a remote alarm message, as it goes to the SMTP server.

// Who sends, and to whom (each address as the user typed it, without the angle brackets).
struct MailAddresses {
    std::string sender;
    std::vector<std::string> recipients;
};

// The addresses of a comma-separated list, each trimmed, empty ones left out.
std::vector<std::string> mailRecipients(std::string_view commaSeparated);

// A header's text as RFC 2047 encoded words (UTF-8, Base64) of at most 75 characters each,
// joined by `separator` (a folding "\r\n " in a mail, a space in an HTTP header); printable
// ASCII stays as it is.
std::string encodedHeaderText(std::string_view text, std::string_view separator);

// The moment as a mail's Date header gives it, in local time with its offset:
// "Thu, 10 Dec 2026 05:55:13 +0100".
std::string mailDate(std::int64_t createdMs);

// The subject before encoding: the title, the time, and the profile when one is used.
std::string mailSubject(const AlertMessage& message);

// A size as people read it: "12,3 MB" (MB of 1024 × 1024 bytes).
std::string megabytesText(std::uintmax_t bytes);

// The whole mail: headers (Date, From, To, Subject, Message-ID made of the message's id, MIME),
// the German text, the picture attached as "sentello.jpg", and for a finished clip the clip
// file when it has at most `clipLimitMb` MB (0: never), otherwise its name and size in the
// text.
std::string composeMail(const AlertMessage& message, const MailAddresses& addresses,
                        int clipLimitMb);
