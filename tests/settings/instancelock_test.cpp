#include "settings/instancelock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>

#include "../tempfolder.h"

namespace {

TEST(InstanceLockTest, ASecondHolderOfTheSameFolderIsRefusedUntilTheFirstEnds) {
    TempFolder folder;
    const std::string path = folder.path().string() + "/";
    {
        const InstanceLock first(path);
        EXPECT_EQ(first.state(), InstanceLock::State::Held);
        const InstanceLock second(path);
        EXPECT_EQ(second.state(), InstanceLock::State::Taken);
        EXPECT_TRUE(second.failure().empty());
    }
    const InstanceLock third(path);
    EXPECT_EQ(third.state(), InstanceLock::State::Held);
}

TEST(InstanceLockTest, AProfilesFolderHasALockOfItsOwn) {
    TempFolder folder;
    const std::string path = folder.path().string() + "/";
    std::filesystem::create_directory(folder.path() / "keller");
    const InstanceLock withoutProfile(path);
    const InstanceLock profile(path + "keller/");
    EXPECT_EQ(withoutProfile.state(), InstanceLock::State::Held);
    EXPECT_EQ(profile.state(), InstanceLock::State::Held);
}

// A process killed with SIGKILL leaves no lock behind, and a program it started (a video tool
// that runs on) does not hold it in its place.
TEST(InstanceLockTest, NeitherAKilledHolderNorItsChildKeepTheLock) {
    TempFolder folder;
    const std::string path = folder.path().string() + "/";
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        const InstanceLock lock(path);
        if (lock.state() != InstanceLock::State::Held)
            ::_exit(2);
        // A started tool that outlives the program, its output away from the test's. Told
        // once it runs: the end of a close-on-exec pipe closes with the exec.
        int started[2];
        if (::pipe2(started, O_CLOEXEC) != 0)
            ::_exit(4);
        const pid_t tool = ::fork();
        if (tool == 0) {
            const int nowhere = ::open("/dev/null", O_RDWR);
            ::dup2(nowhere, 1);
            ::dup2(nowhere, 2);
            ::execl("/bin/sleep", "sleep", "60", static_cast<char*>(nullptr));
            ::_exit(3);
        }
        ::close(started[1]);
        char none = 0;
        while (::read(started[0], &none, 1) < 0 && errno == EINTR) {
        }
        static_cast<void>(::write(ready[1], &tool, sizeof tool));
        ::pause();
        ::_exit(0);
    }
    ::close(ready[1]);
    pid_t tool = 0;
    ASSERT_EQ(::read(ready[0], &tool, sizeof tool), static_cast<ssize_t>(sizeof tool));
    ::close(ready[0]);
    ASSERT_GT(tool, 0);
    EXPECT_EQ(InstanceLock(path).state(), InstanceLock::State::Taken);
    ::kill(holder, SIGKILL);
    int status = 0;
    ::waitpid(holder, &status, 0);
    EXPECT_EQ(::kill(tool, 0), 0) << "the tool runs on";
    EXPECT_EQ(InstanceLock(path).state(), InstanceLock::State::Held);
    ::kill(tool, SIGKILL);
}

TEST(InstanceLockTest, APlantedLinkIsNotFollowed) {
    TempFolder folder;
    const std::string path = folder.path().string() + "/";
    const std::filesystem::path target = folder.path() / "someone-elses-file";
    std::ofstream(target) << "kept";
    std::filesystem::create_symlink(target, folder.path() / "Sentello.lock");
    const InstanceLock lock(path);
    EXPECT_EQ(lock.state(), InstanceLock::State::Unusable);
    EXPECT_NE(lock.failure().find("Sentello.lock"), std::string::npos);
    std::ifstream kept(target);
    std::string text;
    kept >> text;
    EXPECT_EQ(text, "kept");
}

}  // namespace
