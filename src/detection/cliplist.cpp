#include "detection/cliplist.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <regex>
#include <string_view>
#include <tuple>

#include "detection/datetemplate.h"
#include "settings/settingsfolder.h"

namespace {

bool hasAviExtension(std::string_view name) {
    if (name.size() < 4)
        return false;
    const std::string_view extension = name.substr(name.size() - 4);
    return extension[0] == '.' && (extension[1] | 0x20) == 'a' && (extension[2] | 0x20) == 'v' &&
           (extension[3] | 0x20) == 'i';
}

// A clip of a profile: "Video_Sentello_", the profile's name, "_" and the date's digits.
bool isProfileClip(const std::string& name) {
    static const std::regex profileClip("Video_Sentello_[A-Za-z][-A-Za-z0-9_]{0,31}_[0-9]{14}");
    return std::regex_search(name, profileClip);
}

// Without a profile, what has always been listed (a path with "Video_Sentello_"), but for the
// clips of profiles; with one, only its own.
bool isListed(const std::string& path, const std::string& name, const std::string& stem) {
    if (stem == clipStem({}))
        return path.find(stem) != std::string::npos && !isProfileClip(name);
    const std::size_t at = name.find(stem);
    return at != std::string::npos && at + stem.size() < name.size() &&
           name[at + stem.size()] >= '0' && name[at + stem.size()] <= '9';
}

struct DirectoryCloser {
    void operator()(DIR* directory) const { ::closedir(directory); }
};

}  // namespace

std::vector<ListedClip> findClips(const std::string& folder, const std::string& stem) {
    struct Found {
        statx_timestamp created;
        std::string path;
        std::uintmax_t bytes;
    };
    std::vector<Found> found;
    std::unique_ptr<DIR, DirectoryCloser> directory(::opendir(folder.c_str()));
    if (!directory)
        return {};
    while (const dirent* entry = ::readdir(directory.get())) {
        const std::string_view name = entry->d_name;
        if (!hasAviExtension(name))
            continue;
        const std::string path = folder + std::string(name);
        if (!isListed(path, std::string(name), stem))
            continue;
        struct statx status {};
        if (::statx(AT_FDCWD, path.c_str(), 0, STATX_TYPE | STATX_MTIME | STATX_BTIME | STATX_SIZE,
                    &status) != 0 ||
            !S_ISREG(status.stx_mode)) {
            continue;
        }
        found.push_back({(status.stx_mask & STATX_BTIME) ? status.stx_btime : status.stx_mtime,
                         path, status.stx_size});
    }
    // Oldest first, as the clips of this run are added at the end.
    std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
        return std::tie(a.created.tv_sec, a.created.tv_nsec, a.path) <
               std::tie(b.created.tv_sec, b.created.tv_nsec, b.path);
    });
    std::vector<ListedClip> clips;
    clips.reserve(found.size());
    for (const Found& clip : found) {
        clips.push_back({clip.path,
                         formatDateTemplate(kDateTimeTemplate,
                                            localDateFields(std::time_t(clip.created.tv_sec))),
                         clip.bytes});
    }
    return clips;
}

std::vector<std::string> clipsBeyondLimit(const std::vector<ListedClip>& clips,
                                          std::uintmax_t limitBytes, const std::string& newest) {
    std::uintmax_t total = 0;
    for (const ListedClip& clip : clips)
        total += clip.bytes;
    std::vector<std::string> beyond;
    for (auto clip = clips.begin(); clip != clips.end() && total > limitBytes; ++clip) {
        if (clip->path == newest)
            continue;
        beyond.push_back(clip->path);
        total -= clip->bytes;
    }
    return beyond;
}
