#include "outputs/alertmessagetext.h"

#include <charconv>
#include <functional>
#include <iterator>
#include <map>
#include <set>
#include <vector>

#include "outputs/alertid.h"

namespace {

constexpr std::string_view kFirstLine = "sentello-alert 1";
constexpr std::string_view kLastLine = "end";

std::string escaped(std::string_view value) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F && c != '%') {
            text += c;
        } else {
            text += '%';
            text += kHex[byte >> 4];
            text += kHex[byte & 0xF];
        }
    }
    return text;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::optional<std::string> unescaped(std::string_view text) {
    std::string value;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] != '%') {
            value += text[at];
            continue;
        }
        if (at + 2 >= text.size())
            return std::nullopt;
        const int high = hexDigit(text[at + 1]);
        const int low = hexDigit(text[at + 2]);
        if (high < 0 || low < 0)
            return std::nullopt;
        value += static_cast<char>(high * 16 + low);
        at += 2;
    }
    return value;
}

template <typename Number>
bool parseNumber(const std::string& text, Number& number, Number minimum, Number maximum) {
    Number parsed{};
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, parsed);
    if (error != std::errc() || stop != end || parsed < minimum || parsed > maximum)
        return false;
    number = parsed;
    return true;
}

bool parseInt(const std::string& text, int& number, int minimum, int maximum) {
    return parseNumber(text, number, minimum, maximum);
}

template <typename Enum>
bool parseEnum(const std::string& text, Enum& value, Enum last) {
    int number = 0;
    if (!parseInt(text, number, 0, static_cast<int>(last)))
        return false;
    value = static_cast<Enum>(number);
    return true;
}

bool parseFlag(const std::string& text, bool& flag) {
    int number = 0;
    if (!parseInt(text, number, 0, 1))
        return false;
    flag = number != 0;
    return true;
}

constexpr const char* kChannelNames[] = {"mail", "push", "mqtt", "kopiebild", "kopievideo"};

bool parseChannel(const std::string& text, AlertChannel& channel) {
    for (int index = 0; index < static_cast<int>(std::size(kChannelNames)); ++index)
        if (text == kChannelNames[index]) {
            channel = static_cast<AlertChannel>(index);
            return true;
        }
    return false;
}

std::string floatText(float value) {
    char buffer[32];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return error == std::errc() ? std::string(buffer, end) : std::string("0");
}

using Fields = std::vector<std::pair<const char*, std::string>>;

Fields fieldsOf(const AlertMessage& message) {
    const WatchEvent& event = message.event;
    const DateFields& when = event.when;
    return {
        {"id", message.id},
        {"channel", kChannelNames[static_cast<int>(message.channel)]},
        {"created", std::to_string(message.createdMs)},
        {"further", std::to_string(message.furtherTriggers)},
        {"test", message.test ? "1" : "0"},
        {"state", message.stateOnly ? "1" : "0"},
        {"profile", message.profile},
        {"kind", std::to_string(static_cast<int>(event.kind))},
        {"year", std::to_string(when.year)},
        {"month", std::to_string(when.month)},
        {"day", std::to_string(when.day)},
        {"hour", std::to_string(when.hour)},
        {"minute", std::to_string(when.minute)},
        {"second", std::to_string(when.second)},
        {"change", floatText(event.changePercent)},
        {"effect", std::to_string(static_cast<int>(event.effect))},
        {"count", std::to_string(event.count)},
        {"clip", event.clipPath},
        {"deletion", std::to_string(static_cast<int>(event.deletion))},
        {"reconnections", std::to_string(event.reconnections)},
        {"on", event.on ? "1" : "0"},
        {"remote", event.remoteName},
        {"step", event.step},
        {"reason", event.reason},
        {"detail", event.detail},
        {"version", event.version},
        {"source", event.source},
    };
}

// Each key's reading of its value into the message; false when the value is out of range.
using Reader = std::function<bool(const std::string&, AlertMessage&)>;

const std::map<std::string_view, Reader>& readers() {
    constexpr int kMaxInt = 2'147'483'647;
    constexpr int kMinInt = -kMaxInt - 1;
    using M = AlertMessage;
    using S = const std::string&;
    static const std::map<std::string_view, Reader> table{
        {"id",
         [](S v, M& m) {
             m.id = v;
             return isAlertId(v);
         }},
        {"channel", [](S v, M& m) { return parseChannel(v, m.channel); }},
        {"created",
         [](S v, M& m) { return parseNumber<std::int64_t>(v, m.createdMs, INT64_MIN, INT64_MAX); }},
        {"further", [](S v, M& m) { return parseInt(v, m.furtherTriggers, 0, kMaxInt); }},
        {"test", [](S v, M& m) { return parseFlag(v, m.test); }},
        {"state", [](S v, M& m) { return parseFlag(v, m.stateOnly); }},
        {"profile",
         [](S v, M& m) {
             m.profile = v;
             return true;
         }},
        // The remote alarm's reports on itself and what the start found of the last run
        // (a crash, clips it cut off) are never sent: no message is of those kinds.
        {"kind",
         [](S v, M& m) {
             using Kind = WatchEvent::Kind;
             return parseEnum(v, m.event.kind, Kind::WatchResumed) &&
                    m.event.kind != Kind::RemoteAlarmReport && m.event.kind != Kind::ClipRepaired &&
                    m.event.kind != Kind::ClipNotRepaired &&
                    m.event.kind != Kind::LastRunEndedAbnormally;
         }},
        {"year", [](S v, M& m) { return parseInt(v, m.event.when.year, 0, 9999); }},
        {"month", [](S v, M& m) { return parseInt(v, m.event.when.month, 1, 12); }},
        {"day", [](S v, M& m) { return parseInt(v, m.event.when.day, 1, 31); }},
        {"hour", [](S v, M& m) { return parseInt(v, m.event.when.hour, 0, 23); }},
        {"minute", [](S v, M& m) { return parseInt(v, m.event.when.minute, 0, 59); }},
        {"second", [](S v, M& m) { return parseInt(v, m.event.when.second, 0, 60); }},
        {"change",
         [](S v, M& m) { return parseNumber<float>(v, m.event.changePercent, 0.0f, 100.0f); }},
        {"effect",
         [](S v, M& m) { return parseEnum(v, m.event.effect, WatchEvent::Effect::DuringClip); }},
        {"count",
         [](S v, M& m) {
             return parseNumber<std::int64_t>(v, m.event.count, INT64_MIN, INT64_MAX);
         }},
        {"clip",
         [](S v, M& m) {
             m.event.clipPath = v;
             return true;
         }},
        {"deletion",
         [](S v, M& m) {
             return parseEnum(v, m.event.deletion, WatchEvent::Deletion::StorageLimit);
         }},
        {"reconnections",
         [](S v, M& m) { return parseInt(v, m.event.reconnections, kMinInt, kMaxInt); }},
        {"on", [](S v, M& m) { return parseFlag(v, m.event.on); }},
        {"remote",
         [](S v, M& m) {
             m.event.remoteName = v;
             return true;
         }},
        {"step",
         [](S v, M& m) {
             m.event.step = v;
             return true;
         }},
        {"reason",
         [](S v, M& m) {
             m.event.reason = v;
             return true;
         }},
        {"detail",
         [](S v, M& m) {
             m.event.detail = v;
             return true;
         }},
        {"version",
         [](S v, M& m) {
             m.event.version = v;
             return true;
         }},
        {"source",
         [](S v, M& m) {
             m.event.source = v;
             return true;
         }},
    };
    return table;
}

}  // namespace

std::string alertMessageText(const AlertMessage& message) {
    std::string text(kFirstLine);
    text += '\n';
    for (const auto& [key, value] : fieldsOf(message)) {
        text += key;
        text += '=';
        text += escaped(value);
        text += '\n';
    }
    text += kLastLine;
    text += '\n';
    return text;
}

std::optional<AlertMessage> parseAlertMessageText(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        if (end == std::string_view::npos)
            return std::nullopt;  // cut short: every line of a whole text ends
        lines.push_back(text.substr(0, end));
        text.remove_prefix(end + 1);
    }
    if (lines.size() < 2 || lines.front() != kFirstLine || lines.back() != kLastLine)
        return std::nullopt;
    AlertMessage message;
    std::set<std::string_view> seen;
    for (std::size_t index = 1; index + 1 < lines.size(); ++index) {
        const std::string_view line = lines[index];
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos)
            return std::nullopt;
        const std::string_view key = line.substr(0, equals);
        if (!seen.insert(key).second)
            return std::nullopt;
        const auto reader = readers().find(key);
        if (reader == readers().end())
            continue;
        const std::optional<std::string> value = unescaped(line.substr(equals + 1));
        if (!value || !reader->second(*value, message))
            return std::nullopt;
    }
    if (!seen.count("id") || !seen.count("channel") || !seen.count("created"))
        return std::nullopt;
    return message;
}
