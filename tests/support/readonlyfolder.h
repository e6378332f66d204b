#pragma once

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

// Runs `write` in a child process for which `folder` takes no new file while `file` in it may
// still be written; returns the child's exit code, or -1 when it did not exit. Root may write
// anywhere, so as root the child runs as nobody, who then owns both.
inline int exitCodeInReadOnlyFolder(const std::filesystem::path& folder,
                                    const std::filesystem::path& file,
                                    const std::function<int()>& write) {
    const bool root = ::geteuid() == 0;
    const uid_t nobody = 65534;
    if (root && (::chown(folder.c_str(), nobody, nobody) != 0 ||
                 ::chown(file.c_str(), nobody, nobody) != 0)) {
        return -1;
    }
    if (::chmod(folder.c_str(), 0500) != 0)
        return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        if (root && (::setgid(nobody) != 0 || ::setuid(nobody) != 0))
            ::_exit(2);
        ::_exit(write());
    }
    int status = 0;
    const bool waited = ::waitpid(child, &status, 0) == child;
    ::chmod(folder.c_str(), 0700);
    return waited && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
