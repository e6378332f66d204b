#include "media/mediafile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

std::optional<MediaFile> MediaFile::open(const std::string& path) {
    // Looked at before it is opened: opening a device can already have an effect.
    struct stat named {};
    if (path.empty() || ::stat(path.c_str(), &named) != 0 || !S_ISREG(named.st_mode))
        return std::nullopt;
    MediaFile file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    // Something else may have been put at the name in between.
    struct stat opened {};
    if (file.m_descriptor < 0 || ::fstat(file.m_descriptor, &opened) != 0 ||
        !S_ISREG(opened.st_mode) || opened.st_dev != named.st_dev || opened.st_ino != named.st_ino)
        return std::nullopt;
    return file;
}

MediaFile::MediaFile(MediaFile&& other) noexcept
    : m_descriptor(std::exchange(other.m_descriptor, -1)) {}

MediaFile& MediaFile::operator=(MediaFile&& other) noexcept {
    std::swap(m_descriptor, other.m_descriptor);
    return *this;
}

MediaFile::~MediaFile() {
    if (m_descriptor >= 0)
        ::close(m_descriptor);
}

std::optional<std::vector<std::uint8_t>> MediaFile::readAll(std::size_t maxBytes) const {
    struct stat status {};
    if (::fstat(m_descriptor, &status) != 0 ||
        static_cast<std::uint64_t>(status.st_size) > maxBytes)
        return std::nullopt;
    // One byte more than the size, so a file that grew since fstat is seen at once.
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(status.st_size) + 1);
    std::size_t size = 0;
    for (;;) {
        if (size == bytes.size()) {
            if (size > maxBytes)
                return std::nullopt;
            bytes.resize(std::min(bytes.size() * 2, maxBytes + 1));
        }
        const ssize_t count = ::pread(m_descriptor, bytes.data() + size, bytes.size() - size,
                                      static_cast<off_t>(size));
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return std::nullopt;
        if (count == 0)
            break;
        size += static_cast<std::size_t>(count);
    }
    if (size > maxBytes)
        return std::nullopt;
    bytes.resize(size);
    return bytes;
}

std::string MediaFile::openedPath() const {
    return "/proc/self/fd/" + std::to_string(m_descriptor);
}
