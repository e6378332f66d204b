#include "app/cliplist.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <memory>
#include <string_view>

#include "capture/datetemplate.h"

namespace {

bool hasAviExtension(std::string_view name) {
    if (name.size() < 4)
        return false;
    const std::string_view extension = name.substr(name.size() - 4);
    return extension[0] == '.' && (extension[1] | 0x20) == 'a' && (extension[2] | 0x20) == 'v' &&
           (extension[3] | 0x20) == 'i';
}

struct DirectoryCloser {
    void operator()(DIR* directory) const { ::closedir(directory); }
};

}  // namespace

std::vector<ListedClip> findClips(const std::string& folder) {
    std::vector<ListedClip> clips;
    std::unique_ptr<DIR, DirectoryCloser> directory(::opendir(folder.c_str()));
    if (!directory)
        return clips;
    while (const dirent* entry = ::readdir(directory.get())) {
        const std::string_view name = entry->d_name;
        if (!hasAviExtension(name))
            continue;
        const std::string path = folder + std::string(name);
        if (path.find("Video_Sentello_") == std::string::npos)
            continue;
        struct statx status {};
        if (::statx(AT_FDCWD, path.c_str(), 0, STATX_TYPE | STATX_MTIME | STATX_BTIME, &status) !=
                0 ||
            !S_ISREG(status.stx_mode)) {
            continue;
        }
        const auto created =
            (status.stx_mask & STATX_BTIME) ? status.stx_btime.tv_sec : status.stx_mtime.tv_sec;
        clips.push_back({path, formatDateTemplate("%dd.%mm.%yyyy %hh:%ii:%ss",
                                                  localDateFields(std::time_t(created)))});
    }
    return clips;
}
