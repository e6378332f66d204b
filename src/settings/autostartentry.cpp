#include "settings/autostartentry.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "settings/settingsfolder.h"
#include "settings/wholefile.h"

namespace {

constexpr char kOwnerKey[] = "X-Sentello-Settings=";
constexpr std::size_t kMaxEntryBytes = 64 * 1024;

// The escapes of every string value of a desktop entry.
std::string valueEscaped(std::string_view value) {
    std::string escaped;
    for (const char c : value) {
        if (c == '\\')
            escaped += "\\\\";
        else
            escaped += c;
    }
    return escaped;
}

bool hasControlCharacter(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return true;
    }
    return false;
}

std::string ownerLine(const std::string& settingsFolder) {
    return kOwnerKey + valueEscaped(settingsFolder);
}

enum class Found { Nothing, Ours, Other };

// A link, a folder or a file without this folder's line is someone else's.
Found whatStandsAt(const std::string& path, const std::string& settingsFolder,
                   std::string& reason) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
        if (errno == ENOENT)
            return Found::Nothing;
        reason = path + ": " + std::generic_category().message(errno);
        return Found::Other;
    }
    const std::optional<std::string> text =
        S_ISREG(status.st_mode) ? readSmallFile(path, kMaxEntryBytes) : std::nullopt;
    const std::string owner = ownerLine(settingsFolder);
    std::size_t at = text ? text->find(owner) : std::string::npos;
    while (at != std::string::npos) {
        const std::size_t end = at + owner.size();
        const bool wholeLine =
            (at == 0 || (*text)[at - 1] == '\n') && (end == text->size() || (*text)[end] == '\n');
        if (wholeLine)
            return Found::Ours;
        at = text->find(owner, at + 1);
    }
    reason = path + ": not an autostart entry of these settings; left as it is";
    return Found::Other;
}

}  // namespace

std::string autostartFolder() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const std::string base =
        config && config[0] == '/' ? std::string(config) + "/" : homeFolder() + ".config/";
    return base + "autostart/";
}

std::string autostartFileName(const std::string& profile) {
    return profile.empty() ? "sentello.desktop" : "sentello-" + profile + ".desktop";
}

std::optional<std::string> execArgument(const std::string& argument) {
    if (hasControlCharacter(argument))
        return std::nullopt;
    constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";
    const bool quoted = argument.empty() || argument.find_first_of(kReserved) != std::string::npos;
    std::string text = quoted ? "\"" : "";
    for (const char c : argument) {
        if (quoted && (c == '"' || c == '`' || c == '$' || c == '\\'))
            text += '\\';
        text += c == '%' ? std::string("%%") : std::string(1, c);
    }
    if (quoted)
        text += '"';
    return valueEscaped(text);
}

std::optional<std::string> autostartEntryText(const std::string& programPath,
                                              const std::string& profile,
                                              const std::string& settingsFolder) {
    const std::optional<std::string> program = execArgument(programPath);
    const std::optional<std::string> profileArgument = execArgument(profile);
    if (!program || !profileArgument || hasControlCharacter(settingsFolder))
        return std::nullopt;
    std::string exec = *program + " --watch";
    if (!profile.empty())
        exec += " --profile " + *profileArgument;
    const std::string name = profile.empty() ? "Sentello" : "Sentello (" + profile + ")";
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=" +
           valueEscaped(name) +
           "\n"
           "Comment=Setzt die Überwachung nach dem Anmelden fort\n"
           "Exec=" +
           exec +
           "\n"
           "Icon=sentello\n"
           "Terminal=false\n" +
           ownerLine(settingsFolder) + "\n";
}

std::optional<std::string> writeAutostartEntry(const std::string& path, const std::string& text,
                                               const std::string& settingsFolder) {
    std::string reason;
    if (whatStandsAt(path, settingsFolder, reason) == Found::Other)
        return reason;
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
    if (error)
        return std::filesystem::path(path).parent_path().string() + ": " + error.message();
    if (const std::optional<std::string> failure = writeWholeFile(path, text, 0644))
        return path + ": " + *failure;
    return std::nullopt;
}

std::optional<std::string> removeAutostartEntry(const std::string& path,
                                                const std::string& settingsFolder) {
    std::string reason;
    switch (whatStandsAt(path, settingsFolder, reason)) {
        case Found::Nothing:
            return std::nullopt;
        case Found::Other:
            return reason;
        case Found::Ours:
            break;
    }
    if (::unlink(path.c_str()) != 0)
        return path + ": " + std::generic_category().message(errno);
    return std::nullopt;
}
