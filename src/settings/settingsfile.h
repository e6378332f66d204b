#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One non-empty line of the settings file.
struct SettingsEntry {
    enum class Kind { GroupHeader, Comment, Key };
    Kind kind = Kind::Key;
    std::string name;   // group name, comment text or key
    std::string value;  // keys only
};

// Reader and writer of the settings file: a group-and-key text file with CR LF line ends.
// Opening loads the whole file; reads are answered from memory; closing writes the whole file
// back, and only when something was written. While a file is open, other Sentello processes
// may read it but not write it (an advisory lock).
//
// Groups and keys are compared without regard to the case of ASCII letters. Texts are kept
// as the bytes they are; in a file that begins with a UTF-8 byte-order mark, readText and
// writeText take every byte of a text as the character of that code. readBytes and writeBytes
// leave the values of either kind of file as the bytes the file holds.
class SettingsFile {
public:
    SettingsFile() = default;
    SettingsFile(const SettingsFile&) = delete;
    SettingsFile& operator=(const SettingsFile&) = delete;
    ~SettingsFile() { close(); }

    // False when the existing file could not be opened: reads then give their defaults, and
    // writes still reach the file at close. Only a regular file of at most a megabyte is
    // read; anything else (a FIFO, a device, a folder, a larger file) counts as one that
    // cannot be opened.
    bool open(const std::string& path);
    // Starts an empty file, cutting an existing one; false when that is not possible.
    bool create(const std::string& path);
    // True when the group exists (or the name is empty, for the part before the first group).
    // A missing group is made, at the end of the file, by the first write.
    bool selectGroup(std::string_view name);

    std::int32_t readNumber(std::string_view key, std::int32_t fallback) const;
    std::string readText(std::string_view key, std::string_view fallback) const;
    void writeNumber(std::string_view key, std::int32_t value);
    void writeText(std::string_view key, std::string_view value);
    std::string readBytes(std::string_view key, std::string_view fallback) const;
    void writeBytes(std::string_view key, std::string_view value);

    // Writes the file back when something was written, through the SettingsWriter, and waits
    // until it is on the disk. The new text goes to a temporary file beside it, which then
    // replaces the old one, so a crash or a full disk never leaves half a settings file; only
    // a folder that takes no new file has the file rewritten in place. A link is written
    // through to the file it names; what stands there and is no regular file is left alone,
    // and so is a file that is there but could not be opened. A value holding a line break or
    // a NUL is never written: it would make lines of its own. A write that cannot be made is
    // reported through the SettingsWriter.
    void close();
    // The same without waiting for the disk: the next open reads the new text all the same.
    void closeWithoutWaiting();

    const std::vector<SettingsEntry>& entries() const { return m_entries; }

private:
    enum class Access { None, ReadOnly, ReadWrite };

    std::optional<std::size_t> findKey(std::string_view key) const;
    std::optional<std::string> storedValue(std::string_view key) const;
    void write(std::string_view key, std::string value);
    std::string storedForm(std::string_view text) const;
    void finish(bool waitForDisk);
    void writeBack(bool waitForDisk);

    std::string m_path;
    int m_descriptor = -1;
    Access m_access = Access::None;
    // Why the file could be opened for reading only.
    std::string m_readOnlyReason;
    bool m_modified = false;
    bool m_utf8 = false;
    std::vector<SettingsEntry> m_entries;
    std::optional<std::size_t> m_currentGroup;  // index of its header; none = the top section
    std::optional<std::string> m_pendingGroup;
};

// The text of a settings file as its entries.
std::vector<SettingsEntry> parseSettings(std::string_view text);
