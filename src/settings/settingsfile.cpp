#include "settings/settingsfile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "settings/settingswriter.h"
#include "settings/utf8.h"

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kLineEnd = "\r\n";
// Far above any real settings file (a few dozen short lines).
constexpr std::size_t kMaxSettingsBytes = 1024 * 1024;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimmedStart(std::string_view text) {
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    return text;
}

std::string_view trimmedEnd(std::string_view text) {
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return asciiLower(x) == asciiLower(y);
           });
}

SettingsEntry parseLine(std::string_view line) {
    if (line.front() == ';') {
        line.remove_prefix(1);
        if (!line.empty() && line.front() == ' ')
            line.remove_prefix(1);
        return {SettingsEntry::Kind::Comment, std::string(line), {}};
    }
    if (line.front() == '[') {
        line.remove_prefix(1);
        return {SettingsEntry::Kind::GroupHeader, std::string(line.substr(0, line.find(']'))), {}};
    }
    const auto equals = line.find('=');
    if (equals == std::string_view::npos) {
        return {SettingsEntry::Kind::Key, std::string(trimmedEnd(line)), {}};
    }
    return {SettingsEntry::Kind::Key, std::string(trimmedEnd(line.substr(0, equals))),
            std::string(trimmedStart(line.substr(equals + 1)))};
}

// Each byte as the character of that code, in UTF-8.
std::string latin1ToUtf8(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (unsigned char c : text)
        appendUtf8(result, c);
    return result;
}

// Back to single bytes: characters up to U+00FF become their byte, other characters "?",
// bytes that begin no character are dropped.
std::string utf8ToLatin1(std::string_view text) {
    std::string result;
    while (!text.empty()) {
        const Utf8Character character = firstUtf8Character(text);
        if (character.length == 0) {
            text.remove_prefix(1);
            continue;
        }
        result += character.codePoint <= 0xFF ? static_cast<char>(character.codePoint) : '?';
        text.remove_prefix(character.length);
    }
    return result;
}

// Reads at most one byte more than a settings file may have, so an oversized one is told.
std::optional<std::string> readAll(int descriptor) {
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t count = ::read(descriptor, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return std::nullopt;
        if (count == 0)
            return text;
        text.append(buffer, static_cast<std::size_t>(count));
        if (text.size() > kMaxSettingsBytes)
            return std::nullopt;
    }
}

// Opens only a regular file of a size a settings file can have: a FIFO or a device (or a
// link to one) must neither hang the program nor flood its memory. -1 for anything else.
int openRegularFile(const std::string& path, int access) {
    const int descriptor =
        ::open(path.c_str(), access | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (descriptor < 0)
        return -1;
    struct stat status {};
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode) ||
        status.st_size > static_cast<off_t>(kMaxSettingsBytes)) {
        ::close(descriptor);
        return -1;
    }
    return descriptor;
}

// A link is written through to the file it names, so that a settings file kept elsewhere
// (in a folder of dotfiles, say) stays where it is.
std::string fileBehindLinks(const std::string& path) {
    std::error_code error;
    const std::filesystem::path target = std::filesystem::weakly_canonical(path, error);
    return error || target.empty() ? path : target.string();
}

bool holdsLineBreakOrNul(std::string_view value) {
    return value.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

}  // namespace

std::vector<SettingsEntry> parseSettings(std::string_view text) {
    std::vector<SettingsEntry> entries;
    while (!text.empty()) {
        const auto end = text.find_first_of("\r\n");
        const std::string_view line = trimmedStart(text.substr(0, end));
        if (!line.empty())
            entries.push_back(parseLine(line));
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end);
        while (!text.empty() && (text.front() == '\r' || text.front() == '\n')) {
            text.remove_prefix(1);
        }
    }
    return entries;
}

bool SettingsFile::open(const std::string& path) {
    close();
    m_path = path;
    // A text still on its way to the disk is newer than what the disk holds. Asked before the
    // file is opened: a text that reaches the disk after this is found there, whereas a file
    // opened first could be one the writer has replaced by the time it is read.
    std::optional<std::string> read = SettingsWriter::instance().pendingText(fileBehindLinks(path));
    // Read and write, with the lock that keeps other writers out; without either, read only.
    m_descriptor = openRegularFile(path, O_RDWR);
    m_access = Access::ReadWrite;
    m_readOnlyReason = std::generic_category().message(errno);
    if (m_descriptor >= 0 && ::flock(m_descriptor, LOCK_EX | LOCK_NB) != 0) {
        ::close(m_descriptor);
        m_descriptor = -1;
        m_readOnlyReason = "in use by another Sentello";
    }
    if (m_descriptor < 0) {
        m_descriptor = openRegularFile(path, O_RDONLY);
        m_access = m_descriptor >= 0 ? Access::ReadOnly : Access::None;
    }
    if (read && m_access == Access::None)
        m_access = Access::ReadWrite;  // this program's own file, not on the disk yet
    else if (!read && m_descriptor >= 0)
        read = readAll(m_descriptor);
    if (!read) {
        // As a file that cannot be opened: defaults, and a write makes the file anew.
        if (m_descriptor >= 0)
            ::close(m_descriptor);
        m_descriptor = -1;
        m_access = Access::None;
        return false;
    }
    std::string text = std::move(*read);
    if (text.size() >= 3 && std::string_view(text).starts_with(kByteOrderMark)) {
        m_utf8 = true;
        text.erase(0, kByteOrderMark.size());
    }
    m_entries = parseSettings(text);
    return true;
}

bool SettingsFile::create(const std::string& path) {
    close();
    m_path = path;
    m_descriptor = openRegularFile(path, O_RDWR | O_CREAT);
    struct stat status {};
    const bool there = ::stat(path.c_str(), &status) == 0;
    const char* failure =
        m_descriptor < 0 ? (there ? "the file could not be read" : "the file could not be made")
        : ::flock(m_descriptor, LOCK_EX | LOCK_NB) != 0 ? "in use by another Sentello"
        : ::ftruncate(m_descriptor, 0) != 0             ? "the file could not be emptied"
                                                        : nullptr;
    if (failure) {
        // Only ever made to be written: the step's writes are lost, and that is said.
        SettingsWriter::instance().reportFailure(path, failure);
        if (m_descriptor >= 0)
            ::close(m_descriptor);
        m_descriptor = -1;
        m_path.clear();
        return false;
    }
    m_access = Access::ReadWrite;
    return true;
}

bool SettingsFile::selectGroup(std::string_view name) {
    if (name.empty()) {
        m_currentGroup.reset();
        m_pendingGroup.reset();
        return true;
    }
    const std::string stored = storedForm(name);
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        const SettingsEntry& entry = m_entries[i];
        if (entry.kind == SettingsEntry::Kind::GroupHeader && sameName(entry.name, stored)) {
            m_currentGroup = i;
            m_pendingGroup.reset();
            return true;
        }
    }
    m_pendingGroup = stored;
    return false;
}

std::optional<std::size_t> SettingsFile::findKey(std::string_view key) const {
    if (m_pendingGroup)
        return std::nullopt;
    const std::string stored = storedForm(key);
    for (std::size_t i = m_currentGroup ? *m_currentGroup + 1 : 0; i < m_entries.size(); ++i) {
        const SettingsEntry& entry = m_entries[i];
        if (entry.kind == SettingsEntry::Kind::GroupHeader)
            break;
        if (entry.kind == SettingsEntry::Kind::Key && sameName(entry.name, stored))
            return i;
    }
    return std::nullopt;
}

std::int32_t SettingsFile::readNumber(std::string_view key, std::int32_t fallback) const {
    const auto found = findKey(key);
    if (!found)
        return fallback;
    std::string_view value = trimmedStart(m_entries[*found].value);
    bool negative = false;
    if (!value.empty() && (value.front() == '+' || value.front() == '-')) {
        negative = value.front() == '-';
        value.remove_prefix(1);
    }
    // Numbers beyond 32 bits stop at the nearest end of the range.
    std::int64_t number = 0;
    for (char c : value) {
        if (c < '0' || c > '9')
            break;
        number = std::min<std::int64_t>(number * 10 + (c - '0'), std::int64_t{INT32_MAX} + 1);
    }
    if (negative)
        number = -number;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(number, INT32_MIN, INT32_MAX));
}

std::optional<std::string> SettingsFile::storedValue(std::string_view key) const {
    const auto found = findKey(key);
    if (!found)
        return std::nullopt;
    return std::string(trimmedEnd(trimmedStart(m_entries[*found].value)));
}

std::string SettingsFile::readText(std::string_view key, std::string_view fallback) const {
    const auto value = storedValue(key);
    if (!value)
        return std::string(fallback);
    return m_utf8 ? utf8ToLatin1(*value) : *value;
}

std::string SettingsFile::readBytes(std::string_view key, std::string_view fallback) const {
    return storedValue(key).value_or(std::string(fallback));
}

void SettingsFile::writeNumber(std::string_view key, std::int32_t value) {
    write(key, std::to_string(value));
}

void SettingsFile::writeText(std::string_view key, std::string_view value) {
    write(key, storedForm(value));
}

void SettingsFile::writeBytes(std::string_view key, std::string_view value) {
    write(key, std::string(value));
}

void SettingsFile::write(std::string_view key, std::string value) {
    // One line a value: a line break would make further keys of it.
    if (holdsLineBreakOrNul(value))
        return;
    if (m_pendingGroup) {
        m_entries.push_back({SettingsEntry::Kind::GroupHeader, *m_pendingGroup, {}});
        m_currentGroup = m_entries.size() - 1;
        m_pendingGroup.reset();
    }
    const std::string storedKey = storedForm(key);
    if (const auto found = findKey(key)) {
        m_entries[*found].name = storedKey;
        m_entries[*found].value = std::move(value);
    } else {
        // After the last entry of the current group (or of the top section).
        std::size_t at = m_currentGroup ? *m_currentGroup + 1 : 0;
        while (at < m_entries.size() && m_entries[at].kind != SettingsEntry::Kind::GroupHeader) {
            ++at;
        }
        m_entries.insert(m_entries.begin() + static_cast<std::ptrdiff_t>(at),
                         {SettingsEntry::Kind::Key, storedKey, std::move(value)});
    }
    m_modified = true;
}

std::string SettingsFile::storedForm(std::string_view text) const {
    return m_utf8 ? latin1ToUtf8(text) : std::string(text);
}

void SettingsFile::close() {
    finish(true);
}

void SettingsFile::closeWithoutWaiting() {
    finish(false);
}

void SettingsFile::finish(bool waitForDisk) {
    if (m_modified && !m_path.empty()) {
        if (m_access == Access::ReadOnly)
            SettingsWriter::instance().reportFailure(m_path, "read-only: " + m_readOnlyReason);
        else
            writeBack(waitForDisk);
    }
    if (m_descriptor >= 0)
        ::close(m_descriptor);
    m_descriptor = -1;
    m_path.clear();
    m_access = Access::None;
    m_modified = false;
    m_utf8 = false;
    m_entries.clear();
    m_currentGroup.reset();
    m_pendingGroup.reset();
}

void SettingsFile::writeBack(bool waitForDisk) {
    std::string text;
    if (m_utf8) {
        text += kByteOrderMark;
        text += kLineEnd;
    }
    for (const SettingsEntry& entry : m_entries) {
        switch (entry.kind) {
            case SettingsEntry::Kind::GroupHeader:
                text += "[" + entry.name + "]";
                break;
            case SettingsEntry::Kind::Comment:
                text += "; " + entry.name;
                break;
            case SettingsEntry::Kind::Key:
                text += entry.name + " = " + entry.value;
                break;
        }
        text += kLineEnd;
    }

    const std::string target = fileBehindLinks(m_path);
    struct stat status {};
    // A file that is there but could not be read (too large, unreadable) holds settings this
    // program does not know: it is never replaced by the few keys of one step.
    if (m_access == Access::None && (::stat(target.c_str(), &status) == 0 || errno != ENOENT)) {
        SettingsWriter::instance().reportFailure(m_path, "the file could not be read");
        return;
    }
    const mode_t mode =
        m_descriptor >= 0 && ::fstat(m_descriptor, &status) == 0 ? status.st_mode & 07777 : 0600;
    SettingsWriter& writer = SettingsWriter::instance();
    writer.write(target, std::move(text), mode);
    if (waitForDisk)
        writer.waitUntilWritten(target);
}
