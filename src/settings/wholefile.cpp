#include "settings/wholefile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace {

bool writeAll(int descriptor, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t count = ::write(descriptor, bytes.data(), bytes.size());
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(count));
    }
    return true;
}

std::string failureText(const char* step) {
    return std::string(step) + ": " + std::generic_category().message(errno);
}

// A link here is not the file that was meant: only the file itself is written.
std::optional<std::string> rewriteInPlace(const std::string& path, std::string_view bytes) {
    const int descriptor =
        ::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0)
        return failureText("open");
    struct stat status {};
    std::optional<std::string> failure;
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode))
        failure = "no regular file";
    else if (::pwrite(descriptor, bytes.data(), bytes.size(), 0) !=
                 static_cast<ssize_t>(bytes.size()) ||
             ::ftruncate(descriptor, static_cast<off_t>(bytes.size())) != 0 ||
             ::fsync(descriptor) != 0)
        failure = failureText("write");
    ::close(descriptor);
    return failure;
}

void syncFolderOf(const std::string& path) {
    const std::string folder = std::filesystem::path(path).parent_path().string();
    const int descriptor = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor >= 0) {
        ::fsync(descriptor);
        ::close(descriptor);
    }
}

}  // namespace

std::optional<std::string> writeWholeFile(const std::string& path, std::string_view bytes,
                                          mode_t mode) {
    struct stat status {};
    const bool there = ::stat(path.c_str(), &status) == 0;
    if (there && !S_ISREG(status.st_mode))
        return "no regular file";

    std::string temporary = path + ".XXXXXX";
    const int descriptor = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (descriptor < 0) {
        // A file that is not there yet cannot be rewritten either: the folder's refusal is why.
        if (there && (errno == EACCES || errno == EPERM || errno == EROFS))
            return rewriteInPlace(path, bytes);
        return failureText("create");
    }
    std::optional<std::string> failure;
    if (!writeAll(descriptor, bytes))
        failure = failureText("write");
    else if (::fchmod(descriptor, mode) != 0)
        failure = failureText("mode");
    else if (::fsync(descriptor) != 0)
        failure = failureText("sync");
    if (::close(descriptor) != 0 && !failure)
        failure = failureText("close");
    if (!failure && ::rename(temporary.c_str(), path.c_str()) != 0)
        failure = failureText("rename");
    if (failure) {
        ::unlink(temporary.c_str());
        return failure;
    }
    syncFolderOf(path);
    return std::nullopt;
}

std::optional<std::string> readSmallFile(const std::string& path, std::size_t maxBytes) {
    const int descriptor =
        ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0)
        return std::nullopt;
    struct stat status {};
    std::optional<std::string> bytes;
    if (::fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode) &&
        static_cast<std::uintmax_t>(status.st_size) <= maxBytes) {
        bytes.emplace(maxBytes + 1, '\0');
        std::size_t filled = 0;
        for (;;) {
            const ssize_t count =
                ::read(descriptor, bytes->data() + filled, bytes->size() - filled);
            if (count < 0 && errno == EINTR)
                continue;
            if (count <= 0) {
                if (count < 0)
                    bytes.reset();
                break;
            }
            filled += static_cast<std::size_t>(count);
            if (filled > maxBytes) {
                bytes.reset();
                break;
            }
        }
        if (bytes)
            bytes->resize(filled);
    }
    ::close(descriptor);
    return bytes;
}
