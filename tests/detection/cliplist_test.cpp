// The clips of the clip folder: which are the program's, in which order, and which go when
// they take more than the storage limit.

#include "detection/cliplist.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>

#include "../tempfolder.h"
#include "settings/settingsfolder.h"

namespace {

// Each profile lists its own clips; without one, the clips of profiles are not listed.
TEST(ClipList, EachProfileListsOnlyItsOwnClips) {
    TempFolder folder;
    const std::string base = folder.path().string() + "/";
    for (const char* name :
         {"Video_Sentello_20110304211503.avi", "Video_Sentello_copy.avi",
          "Video_Sentello_Garten_20110304211600.avi", "Video_Sentello_Garten_20110304211600_2.avi",
          "Video_Sentello_Flur_20110304211700.avi"}) {
        std::ofstream(folder / name) << "x";
    }
    const auto names = [&](const std::string& profile) {
        std::vector<std::string> found;
        for (const ListedClip& clip : findClips(base, clipStem(profile)))
            found.push_back(std::filesystem::path(clip.path).filename().string());
        std::sort(found.begin(), found.end());
        return found;
    };
    EXPECT_EQ(names(""), (std::vector<std::string>{"Video_Sentello_20110304211503.avi",
                                                   "Video_Sentello_copy.avi"}));
    EXPECT_EQ(names("Garten"),
              (std::vector<std::string>{"Video_Sentello_Garten_20110304211600.avi",
                                        "Video_Sentello_Garten_20110304211600_2.avi"}));
    EXPECT_EQ(names("Flur"), (std::vector<std::string>{"Video_Sentello_Flur_20110304211700.avi"}));
    EXPECT_TRUE(names("Keller").empty());
}

// Only plain files are clips: a folder or a FIFO named like one is not listed.
TEST(ClipList, OnlyPlainFilesWithTheirSizeAndTime) {
    TempFolder folder;
    std::ofstream(folder / "Video_Sentello_20110304211503.AVI") << std::string(30, 'x');
    std::filesystem::create_directory(folder / "Video_Sentello_20110304211400.avi");
    ASSERT_EQ(::mkfifo((folder / "Video_Sentello_20110304211300.avi").c_str(), 0600), 0);
    const std::vector<ListedClip> clips = findClips(folder.path().string() + "/", clipStem({}));
    ASSERT_EQ(clips.size(), 1u);
    EXPECT_EQ(clips[0].path, (folder / "Video_Sentello_20110304211503.AVI").string());
    EXPECT_EQ(clips[0].bytes, 30u);
    EXPECT_TRUE(std::regex_match(
        clips[0].createdText,
        std::regex("[0-3][0-9]\\.[01][0-9]\\.20[0-9]{2} [0-2][0-9]:[0-5][0-9]:[0-5][0-9]")))
        << clips[0].createdText;
}

TEST(ClipList, TheOldestGoUntilTheRestFitsButNeverTheNewest) {
    const std::vector<ListedClip> clips{
        {"/c/a.avi", "", 40}, {"/c/b.avi", "", 30}, {"/c/c.avi", "", 20}, {"/c/d.avi", "", 10}};
    EXPECT_TRUE(clipsBeyondLimit(clips, 100, "/c/d.avi").empty());
    EXPECT_EQ(clipsBeyondLimit(clips, 60, "/c/d.avi"), (std::vector<std::string>{"/c/a.avi"}));
    EXPECT_EQ(clipsBeyondLimit(clips, 60, "/c/a.avi"),
              (std::vector<std::string>{"/c/b.avi", "/c/c.avi"}));
    EXPECT_EQ(clipsBeyondLimit(clips, 0, "/c/b.avi"),
              (std::vector<std::string>{"/c/a.avi", "/c/c.avi", "/c/d.avi"}));
}

}  // namespace
