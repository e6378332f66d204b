#include "outputs/picturefolder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace {

constexpr const char* kPictureName = "sentello.jpg";

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

}  // namespace

bool isPrivateFolder(const std::string& folder) {
    const int descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (descriptor < 0)
        return false;
    struct stat status {};
    const bool known = ::fstat(descriptor, &status) == 0;
    ::close(descriptor);
    return known && S_ISDIR(status.st_mode) && status.st_uid == ::geteuid() &&
           (status.st_mode & 0777) == 0700;
}

PictureFolder::PictureFolder() {
    const std::string runtime = environment("XDG_RUNTIME_DIR");
    if (!runtime.empty() && isPrivateFolder(runtime)) {
        const std::string folder = runtime + "/sentello";
        ::mkdir(folder.c_str(), 0700);
        if (isPrivateFolder(folder)) {
            m_picturePath = folder + "/" + kPictureName;
            return;
        }
    }
    std::string temporary = environment("TMPDIR");
    if (temporary.empty())
        temporary = "/tmp";
    std::string pattern = temporary + "/sentello-XXXXXX";
    if (::mkdtemp(pattern.data()) && isPrivateFolder(pattern)) {
        m_madeFolder = pattern;
        m_picturePath = pattern + "/" + kPictureName;
    }
}

PictureFolder::~PictureFolder() {
    if (m_madeFolder.empty())
        return;
    std::error_code ignored;
    std::filesystem::remove_all(m_madeFolder, ignored);
}
