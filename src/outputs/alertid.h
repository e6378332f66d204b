#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// A new id of an alert message, unique for ever: the wall clock's milliseconds and 64 random
// bits, "1765361472123-9f2c41d07ab35e68". Only letters, digits and "-", so that it serves as
// a Message-ID's left part, in an HTTP header and as a file name.
std::string newAlertId(std::int64_t wallMs);

// Whether `text` has the form of an id: 1 to 64 letters, digits and "-", not beginning with
// "-". Only such ids name files of the outbox.
bool isAlertId(std::string_view text);
