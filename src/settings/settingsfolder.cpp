#include "settings/settingsfolder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace {

std::string withSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder;
}

// One level only; trailing blanks and separators are not part of the name.
void makeFolder(std::string path) {
    while (!path.empty() && (path.back() == ' ' || path.back() == '/' || path.back() == '\\')) {
        path.pop_back();
    }
    if (!path.empty())
        ::mkdir(path.c_str(), 0700);
}

}  // namespace

std::string programFolderName(const std::string& programFolder) {
    std::string name;
    for (char c : programFolder) {
        if (c == '\\' || c == '/') {
            name += '_';
        } else if (c != ':' && c != ' ') {
            name += c;
        }
    }
    if (!name.empty() && name.back() == '_')
        name.pop_back();
    return name;
}

std::string prepareSettingsFolder(const std::string& homeFolder, const std::string& programFolder,
                                  const std::string& profile) {
    const std::string home = withSlash(homeFolder);
    makeFolder(home + "Sentello");
    std::string folder = home + "Sentello/" + programFolderName(programFolder) + "/";
    makeFolder(folder);
    if (!profile.empty()) {
        folder += profile + "/";
        makeFolder(folder);
    }
    return folder;
}

bool isProfileName(const std::string& name) {
    const auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    if (name.empty() || name.size() > 32 || !letter(name.front()))
        return false;
    return std::all_of(name.begin(), name.end(), [&](char c) {
        return letter(c) || (c >= '0' && c <= '9') || c == '-' || c == '_';
    });
}

std::string clipStem(const std::string& profile) {
    return profile.empty() ? "Video_Sentello_" : "Video_Sentello_" + profile + "_";
}

std::string settingsFilePath(const std::string& settingsFolder) {
    return settingsFolder + "Sentello.prefs";
}

std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home)
        return withSlash(home);
    passwd entry{};
    passwd* user = nullptr;
    std::vector<char> strings(16384);
    if (::getpwuid_r(::getuid(), &entry, strings.data(), strings.size(), &user) == 0 && user &&
        user->pw_dir)
        return withSlash(user->pw_dir);
    return {};
}

std::string runningProgramFolder() {
    const std::filesystem::path program = runningProgramPath();
    return program.empty() ? std::string() : withSlash(program.parent_path().string());
}

std::string runningProgramPath() {
    std::error_code error;
    const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : program.string();
}
