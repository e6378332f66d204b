#pragma once

#include <ctime>
#include <string>
#include <string_view>

// The wall-clock fields of a local date and time.
struct DateFields {
    int year = 1970;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

DateFields localDateFields(std::time_t time);
DateFields localNow();

// The date and time as the clip list, the last trigger and the snapshot caption show it.
inline constexpr char kDateTimeTemplate[] = "%dd.%mm.%yyyy %hh:%ii:%ss";

// Fills a date/time template: "%yyyy" (four-digit year), "%yy", "%mm", "%dd", "%hh" (00-23),
// "%ii" (minute) and "%ss", matched without regard to case; "%yyyy" is tried before "%yy".
// Any other "%" is copied unchanged.
std::string formatDateTemplate(std::string_view dateTemplate, const DateFields& date);
