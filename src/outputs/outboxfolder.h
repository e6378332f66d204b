#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// Where the outbox of a settings file is kept: the folder "Ausgang" beside it, one per
// profile as the event log is.
std::string outboxPath(const std::string& settingsFile);

// The outbox's folder, held open: made with mode 0700 when missing, refused when it is a link,
// no folder or not the user's own; a folder of the user that others may enter is closed to
// them. Every step goes through the open folder, never through its name again, so a folder
// replaced by a link later on is not followed, and no file in it is read or removed through
// a link.
class OutboxFolder {
public:
    // The folder, or why it cannot be used.
    static std::variant<OutboxFolder, std::string> open(const std::string& path);

    OutboxFolder(OutboxFolder&& other) noexcept;
    OutboxFolder& operator=(OutboxFolder&& other) noexcept;
    OutboxFolder(const OutboxFolder&) = delete;
    OutboxFolder& operator=(const OutboxFolder&) = delete;
    ~OutboxFolder();

    // The names in the folder.
    std::vector<std::string> names() const;
    // The size of a regular file; none for a link or anything else.
    std::optional<std::uintmax_t> regularFileSize(const std::string& name) const;
    // The bytes of a regular file of at most `maxBytes`; none otherwise.
    std::optional<std::string> read(const std::string& name, std::uintmax_t maxBytes) const;
    // Puts the file in place as a whole (writeWholeFile, mode 0600); the reason when it fails.
    std::optional<std::string> write(const std::string& name, std::string_view bytes) const;
    // Removes the name; a link itself, never what it names.
    void remove(const std::string& name) const;

private:
    explicit OutboxFolder(int descriptor) : m_descriptor(descriptor) {}
    // The folder's path through the open descriptor, which names the folder that was opened
    // whatever has become of its name since.
    std::string pathOf(const std::string& name) const;

    int m_descriptor = -1;
};
