#include "outputs/launching.h"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include <fcntl.h>
#include <linux/close_range.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <vector>

namespace {

// Every descriptor from `first` on, also where the kernel has no close_range.
void closeDescriptorsFrom(int first) {
    if (::syscall(SYS_close_range, first, ~0U, 0) == 0)
        return;
    const long limit = ::sysconf(_SC_OPEN_MAX);
    for (long descriptor = first; descriptor < (limit > 0 ? limit : 1024); ++descriptor)
        ::close(static_cast<int>(descriptor));
}

// Runs in the grandchild, between fork and exec: only async-signal-safe calls.
[[noreturn]] void execute(char* const* argv, const char* workingFolder, int errorReport) {
    sigset_t none;
    sigemptyset(&none);
    ::pthread_sigmask(SIG_SETMASK, &none, nullptr);
    struct sigaction defaultAction {};
    defaultAction.sa_handler = SIG_DFL;
    ::sigaction(SIGPIPE, &defaultAction, nullptr);
    // The report pipe closes itself when exec succeeds.
    if (errorReport > 3)
        ::dup2(errorReport, 3);
    errorReport = 3;
    ::fcntl(errorReport, F_SETFD, FD_CLOEXEC);
    closeDescriptorsFrom(4);
    if (workingFolder == nullptr || ::chdir(workingFolder) == 0)
        ::execv(argv[0], argv);
    const int error = errno;
    [[maybe_unused]] const ssize_t written = ::write(errorReport, &error, sizeof error);
    ::_exit(127);
}

// A program named without a folder is looked for on the PATH, as a shell does; a file found
// that has no interpreter line is not handed to a shell.
std::string programFile(const std::string& program) {
    if (program.find('/') != std::string::npos)
        return program;
    const char* path = std::getenv("PATH");
    std::string_view folders = path ? path : "/usr/local/bin:/usr/bin:/bin";
    while (!folders.empty()) {
        const std::size_t colon = folders.find(':');
        const std::string folder(folders.substr(0, colon));
        std::string candidate = (folder.empty() ? "." : folder) + "/" + program;
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        folders.remove_prefix(colon == std::string_view::npos ? folders.size() : colon + 1);
    }
    return program;
}

// Starts the words as a program through a child that ends at once, so the program belongs to
// nobody and nothing is left to reap. False when the program could not be executed.
bool spawnDetached(const std::vector<std::string>& words, const std::string& workingFolder) {
    const std::string file = programFile(words.front());
    std::vector<char*> argv{const_cast<char*>(file.c_str())};
    for (std::size_t i = 1; i < words.size(); ++i)
        argv.push_back(const_cast<char*>(words[i].c_str()));
    argv.push_back(nullptr);
    const char* folder = workingFolder.empty() ? nullptr : workingFolder.c_str();

    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0)
        return false;
    const pid_t child = ::fork();
    if (child == 0) {
        ::setsid();
        const pid_t grandchild = ::fork();
        if (grandchild == 0)
            execute(argv.data(), folder, report[1]);
        ::_exit(grandchild < 0 ? 1 : 0);
    }
    ::close(report[1]);
    bool started = false;
    if (child > 0) {
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        started = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        int error = 0;
        ssize_t count;
        while ((count = ::read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
        }
        started = started && count == 0;
    }
    ::close(report[0]);
    return started;
}

bool isDesktopLauncher(const std::string& program) {
    return program.ends_with(".desktop");
}

bool launchDesktopFile(const std::string& launcher, const std::string& argument) {
    GDesktopAppInfo* info = g_desktop_app_info_new_from_filename(launcher.c_str());
    if (!info)
        return false;
    GList* files = nullptr;
    if (!argument.empty())
        files = g_list_append(files, g_file_new_for_path(argument.c_str()));
    const bool started = g_app_info_launch(G_APP_INFO(info), files, nullptr, nullptr);
    g_list_free_full(files, g_object_unref);
    g_object_unref(info);
    return started;
}

}  // namespace

std::string openerWorkingFolder(const std::string& programPath, const std::string& workingFolder) {
    if (!workingFolder.empty())
        return workingFolder;
    const std::size_t slash = programPath.rfind('/');
    if (slash == std::string::npos || slash == 0)
        return {};
    return programPath.substr(0, slash + 1);
}

std::vector<std::string> programWords(const std::string& program) {
    if (!program.starts_with('"'))
        return {program};
    std::vector<std::string> words;
    std::string word;
    bool quoted = false;
    bool inWord = false;
    for (const char c : program) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (c == ' ' && !quoted) {
            if (inWord)
                words.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words.push_back(std::move(word));
    return words;
}

bool launchProgram(const std::string& program, const std::string& argument,
                   const std::string& workingFolder) {
    std::vector<std::string> words = programWords(program);
    if (words.empty() || words.front().empty())
        return false;
    const std::string file = words.front();
    if (isDesktopLauncher(file) && launchDesktopFile(file, argument))
        return true;
    if (!argument.empty())
        words.push_back(argument);
    if (spawnDetached(words, workingFolder))
        return true;
    std::error_code error;
    if (!std::filesystem::exists(file, error))
        return false;
    // The opener takes one file; the argument has no place on its command line.
    return openWithDesktop(file, openerWorkingFolder(file, workingFolder));
}

bool openWithDesktop(const std::string& path, const std::string& workingFolder) {
    return !path.empty() && spawnDetached({"xdg-open", path}, workingFolder);
}
