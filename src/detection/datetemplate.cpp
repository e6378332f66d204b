#include "detection/datetemplate.h"

#include <array>
#include <cctype>
#include <cstdio>
#include <utility>

namespace {

bool startsWithToken(std::string_view text, std::string_view token) {
    if (text.size() < token.size())
        return false;
    for (std::size_t i = 0; i < token.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != token[i])
            return false;
    }
    return true;
}

std::string twoDigits(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d", value);
    return text;
}

}  // namespace

DateFields localDateFields(std::time_t time) {
    std::tm local{};
    localtime_r(&time, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
            local.tm_hour,        local.tm_min,     local.tm_sec};
}

DateFields localNow() {
    // The main loop asks a hundred times a second; the fields change once a second.
    thread_local std::time_t fieldsTime = -1;
    thread_local DateFields fields;
    const std::time_t now = std::time(nullptr);
    if (now != fieldsTime) {
        fields = localDateFields(now);
        fieldsTime = now;
    }
    return fields;
}

std::string formatDateTemplate(std::string_view dateTemplate, const DateFields& date) {
    char year[16];
    std::snprintf(year, sizeof year, "%04d", date.year);
    // Longest token first, so "%yyyy" wins over "%yy".
    const std::array<std::pair<std::string_view, std::string>, 7> tokens{{
        {"%yyyy", year},
        {"%yy", twoDigits(date.year % 100)},
        {"%mm", twoDigits(date.month)},
        {"%dd", twoDigits(date.day)},
        {"%hh", twoDigits(date.hour)},
        {"%ii", twoDigits(date.minute)},
        {"%ss", twoDigits(date.second)},
    }};

    std::string text;
    text.reserve(dateTemplate.size() + 8);
    for (std::size_t i = 0; i < dateTemplate.size();) {
        bool replaced = false;
        if (dateTemplate[i] == '%') {
            for (const auto& [token, value] : tokens) {
                if (startsWithToken(dateTemplate.substr(i), token)) {
                    text += value;
                    i += token.size();
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced)
            text += dateTemplate[i++];
    }
    return text;
}
