// Where the picture tool's picture lies: a folder only this user can enter, never one that
// someone else made or opened.

#include "outputs/picturefolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "../tempfolder.h"

namespace {

namespace fs = std::filesystem;

// Sets an environment variable for one test.
class Environment {
public:
    Environment(const char* name, const std::string& value) : m_name(name) {
        if (const char* old = std::getenv(name))
            m_old = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~Environment() {
        if (m_old)
            ::setenv(m_name, m_old->c_str(), 1);
        else
            ::unsetenv(m_name);
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

struct PictureFolderTest : testing::Test {
    TempFolder runtime;
    TempFolder temporary;
    Environment tmpdir{"TMPDIR", temporary.path().string()};
};

TEST_F(PictureFolderTest, TheRuntimeFolderGetsAPrivateSubfolder) {
    const Environment xdg("XDG_RUNTIME_DIR", runtime.path().string());
    const PictureFolder folder;
    EXPECT_EQ(folder.picturePath(), (runtime / "sentello" / "sentello.jpg").string());
    EXPECT_TRUE(isPrivateFolder((runtime / "sentello").string()));
}

TEST_F(PictureFolderTest, AFolderThatOthersMayEnterIsNotUsed) {
    const Environment xdg("XDG_RUNTIME_DIR", runtime.path().string());
    fs::create_directory(runtime / "sentello");
    ::chmod((runtime / "sentello").c_str(), 0777);
    const PictureFolder folder;
    EXPECT_NE(folder.picturePath().find(temporary.path().string() + "/sentello-"),
              std::string::npos)
        << folder.picturePath();
    EXPECT_TRUE(isPrivateFolder(fs::path(folder.picturePath()).parent_path().string()));
}

TEST_F(PictureFolderTest, ALinkInPlaceOfTheFolderIsNotFollowed) {
    const Environment xdg("XDG_RUNTIME_DIR", runtime.path().string());
    TempFolder elsewhere;
    fs::create_directory_symlink(elsewhere.path(), runtime / "sentello");
    const PictureFolder folder;
    EXPECT_EQ(folder.picturePath().find(runtime.path().string()), std::string::npos)
        << folder.picturePath();
}

TEST_F(PictureFolderTest, WithoutARuntimeFolderAFolderOfItsOwnIsMadeAndRemoved) {
    const Environment xdg("XDG_RUNTIME_DIR", "");
    std::string made;
    {
        const PictureFolder folder;
        made = fs::path(folder.picturePath()).parent_path().string();
        EXPECT_EQ(fs::path(made).parent_path(), temporary.path());
        EXPECT_TRUE(isPrivateFolder(made));
    }
    EXPECT_FALSE(fs::exists(made));
}

TEST(PrivateFolder, OnlyTheUsersOwnClosedFolder) {
    TempFolder folder;
    EXPECT_TRUE(isPrivateFolder(folder.path().string()));
    ::chmod(folder.path().c_str(), 0750);
    EXPECT_FALSE(isPrivateFolder(folder.path().string()));
    EXPECT_FALSE(isPrivateFolder("/tmp"));
    EXPECT_FALSE(isPrivateFolder((folder / "missing").string()));
}

}  // namespace
