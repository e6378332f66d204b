#include "outputs/outboxfolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>
#include <utility>

#include "settings/wholefile.h"

namespace {

std::string errorText() {
    return std::generic_category().message(errno);
}

}  // namespace

std::string outboxPath(const std::string& settingsFile) {
    return (std::filesystem::path(settingsFile).parent_path() / "Ausgang").string();
}

std::variant<OutboxFolder, std::string> OutboxFolder::open(const std::string& path) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return "Ordner " + path + " nicht anzulegen: " + errorText();
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (descriptor < 0)
        return "Ordner " + path + " ist kein Ordner oder nicht zu öffnen: " + errorText();
    OutboxFolder folder(descriptor);
    struct stat status {};
    if (::fstat(descriptor, &status) != 0 || !S_ISDIR(status.st_mode))
        return "Ordner " + path + " ist kein Ordner";
    if (status.st_uid != ::geteuid())
        return "Ordner " + path + " gehört einem anderen Benutzer";
    if ((status.st_mode & 077) != 0 && ::fchmod(descriptor, 0700) != 0)
        return "Ordner " + path + " ist für andere offen: " + errorText();
    return folder;
}

OutboxFolder::OutboxFolder(OutboxFolder&& other) noexcept
    : m_descriptor(std::exchange(other.m_descriptor, -1)) {}

OutboxFolder& OutboxFolder::operator=(OutboxFolder&& other) noexcept {
    if (this != &other) {
        if (m_descriptor >= 0)
            ::close(m_descriptor);
        m_descriptor = std::exchange(other.m_descriptor, -1);
    }
    return *this;
}

OutboxFolder::~OutboxFolder() {
    if (m_descriptor >= 0)
        ::close(m_descriptor);
}

std::vector<std::string> OutboxFolder::names() const {
    std::vector<std::string> names;
    const int copy = ::openat(m_descriptor, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (copy < 0)
        return names;
    DIR* listing = ::fdopendir(copy);
    if (!listing) {
        ::close(copy);
        return names;
    }
    while (const dirent* entry = ::readdir(listing)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(listing);
    return names;
}

std::optional<std::uintmax_t> OutboxFolder::regularFileSize(const std::string& name) const {
    struct stat status {};
    if (::fstatat(m_descriptor, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(status.st_mode))
        return std::nullopt;
    return static_cast<std::uintmax_t>(status.st_size);
}

std::optional<std::string> OutboxFolder::read(const std::string& name,
                                              std::uintmax_t maxBytes) const {
    const int descriptor =
        ::openat(m_descriptor, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0)
        return std::nullopt;
    struct stat status {};
    std::optional<std::string> bytes;
    if (::fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode) &&
        static_cast<std::uintmax_t>(status.st_size) <= maxBytes) {
        bytes.emplace();
        char buffer[65536];
        for (;;) {
            const ssize_t count = ::read(descriptor, buffer, sizeof buffer);
            if (count < 0 && errno == EINTR)
                continue;
            if (count < 0)
                bytes.reset();
            if (count <= 0)
                break;
            bytes->append(buffer, static_cast<std::size_t>(count));
            // A file that grew while it was read is no file of ours.
            if (bytes->size() > maxBytes) {
                bytes.reset();
                break;
            }
        }
    }
    ::close(descriptor);
    return bytes;
}

std::optional<std::string> OutboxFolder::write(const std::string& name,
                                               std::string_view bytes) const {
    return writeWholeFile(pathOf(name), bytes, 0600);
}

void OutboxFolder::remove(const std::string& name) const {
    ::unlinkat(m_descriptor, name.c_str(), 0);
}

std::string OutboxFolder::pathOf(const std::string& name) const {
    return "/proc/self/fd/" + std::to_string(m_descriptor) + "/" + name;
}
