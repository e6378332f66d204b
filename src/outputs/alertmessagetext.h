#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "outputs/alertmessage.h"

// A message as the outbox keeps it on the disk, without its picture (a file of its own): a
// first line naming the form, one "key=value" line per field and a last line "end", so that a
// file cut short reads as none. Every byte of a value outside printable ASCII, and "%", is
// written as "%" and two hexadecimal digits: no value can make a line of its own.
std::string alertMessageText(const AlertMessage& message);

// The message of such a text, without picture; none when the text is not whole, names no
// valid id or channel, holds a key twice, or a value out of its range. Keys it does not know
// are passed over.
std::optional<AlertMessage> parseAlertMessageText(std::string_view text);
