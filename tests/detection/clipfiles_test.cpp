// The clip's file on the disk: its new name, the room it needs, its removal when it failed,
// its syncing while it is written.

#include "detection/clipfiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "../boundedcall.h"
#include "../tempfolder.h"
#include "aviclips.h"
#include "detection/avifile.h"

namespace {

TEST(ClipPath, NamedByTheDateAndNeverOverAnOlderClip) {
    TempFolder folder;
    const std::string base = folder.path().string() + "/";
    const DateFields date{2011, 3, 4, 21, 15, 3};
    EXPECT_EQ(newClipPath(base, "Video_Sentello_", date),
              base + "Video_Sentello_20110304211503.avi");
    std::ofstream(base + "Video_Sentello_20110304211503.avi") << "older clip";
    EXPECT_EQ(newClipPath(base, "Video_Sentello_", date),
              base + "Video_Sentello_20110304211503_2.avi");
    std::ofstream(base + "Video_Sentello_20110304211503_2.avi") << "older clip";
    EXPECT_EQ(newClipPath(base, "Video_Sentello_", date),
              base + "Video_Sentello_20110304211503_3.avi");
    EXPECT_EQ(std::filesystem::status(base + "Video_Sentello_20110304211503_3.avi").permissions() &
                  std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

// The clip that goes on from another (its camera changed its picture size) has the same stem,
// a profile's too, and its own date; a clip of a taken name goes on as well.
TEST(ClipPath, TheNextClipKeepsTheFolderAndTheStem) {
    TempFolder folder;
    const std::string base = folder.path().string() + "/";
    const DateFields later{2011, 3, 4, 21, 15, 9};
    EXPECT_EQ(nextClipPath(base + "Video_Sentello_20110304211503.avi", later),
              base + "Video_Sentello_20110304211509.avi");
    EXPECT_EQ(nextClipPath(base + "Video_Sentello_Garten_20110304211503_2.avi", later),
              base + "Video_Sentello_Garten_20110304211509.avi");
    // Within the same second: the next free name.
    EXPECT_EQ(nextClipPath(base + "Video_Sentello_20110304211509.avi", later),
              base + "Video_Sentello_20110304211509_2.avi");
}

// A link planted at the coming name, even one that leads nowhere yet, is passed over.
TEST(ClipPath, ALinkAtTheNameIsNeverWrittenThrough) {
    TempFolder folder;
    const std::string base = folder.path().string() + "/";
    const DateFields date{2011, 3, 4, 21, 15, 3};
    const auto victim = folder / "victim";
    std::filesystem::create_symlink(victim, base + "Video_Sentello_20110304211503.avi");
    EXPECT_EQ(newClipPath(base, "Video_Sentello_", date),
              base + "Video_Sentello_20110304211503_2.avi");
    EXPECT_FALSE(std::filesystem::exists(victim));
}

// A folder stands at the name: it is passed over like a file.
TEST(ClipPath, AFolderAtTheNameIsPassedOver) {
    TempFolder folder;
    const std::string base = folder.path().string() + "/";
    std::filesystem::create_directory(base + "Video_Sentello_20110304211503.avi");
    EXPECT_EQ(newClipPath(base, "Video_Sentello_", {2011, 3, 4, 21, 15, 3}),
              base + "Video_Sentello_20110304211503_2.avi");
}

// A folder that takes no file gets the plain name at once; the recording then says why.
TEST(ClipPath, AFolderThatTakesNoFileGetsThePlainName) {
    TempFolder folder;
    const std::string base = (folder / "missing").string() + "/";
    EXPECT_EQ(newClipPath(base, "Video_Sentello_", {2011, 3, 4, 21, 15, 3}),
              base + "Video_Sentello_20110304211503.avi");
    EXPECT_FALSE(std::filesystem::exists(folder / "missing"));
}

TEST(ClipRoom, TheFolderOfTheClipIsMeasured) {
    TempFolder folder;
    const std::string path = (folder / "clip.avi").string();
    EXPECT_TRUE(roomForClip(path, 1));
    EXPECT_FALSE(roomForClip(path, std::numeric_limits<std::uint64_t>::max()));
    // A name without a folder is in the working folder.
    EXPECT_FALSE(roomForClip("clip.avi", std::numeric_limits<std::uint64_t>::max()));
}

// Only a disk known to be full refuses a clip: a folder that cannot be measured leaves the
// answer to the recording, which says why it fails.
TEST(ClipRoom, AFolderThatCannotBeMeasuredRefusesNothing) {
    TempFolder folder;
    EXPECT_TRUE(roomForClip((folder / "missing" / "clip.avi").string(),
                            std::numeric_limits<std::uint64_t>::max()));
}

TEST(FailedClip, ItsFileGoesAndTheOthersStay) {
    TempFolder folder;
    std::ofstream(folder / "failed.avi") << "remains";
    std::ofstream(folder / "older.avi") << "an older clip";
    removeFailedClip((folder / "failed.avi").string());
    EXPECT_FALSE(std::filesystem::exists(folder / "failed.avi"));
    EXPECT_TRUE(std::filesystem::exists(folder / "older.avi"));
}

// What stands at the clip's name and is no plain file is not ours to remove.
TEST(FailedClip, ALinkOrAFolderAtItsNameStays) {
    TempFolder folder;
    std::ofstream(folder / "target.avi") << "not the clip";
    std::filesystem::create_symlink(folder / "target.avi", folder / "link.avi");
    std::filesystem::create_directory(folder / "folder.avi");
    removeFailedClip((folder / "link.avi").string());
    removeFailedClip((folder / "folder.avi").string());
    removeFailedClip((folder / "missing.avi").string());
    EXPECT_TRUE(std::filesystem::is_symlink(folder / "link.avi"));
    EXPECT_TRUE(std::filesystem::exists(folder / "target.avi"));
    EXPECT_TRUE(std::filesystem::is_directory(folder / "folder.avi"));
}

}  // namespace

namespace {

// What the syncer synced, for the test to wait on.
struct SyncLog {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> paths;

    std::function<void(const std::string&)> sync() {
        return [this](const std::string& path) {
            const std::lock_guard lock(mutex);
            paths.push_back(path);
            changed.notify_all();
        };
    }
};

TEST(ClipSyncer, SyncsTheClipAgainAndAgainWhileItIsWritten) {
    SyncLog log;
    {
        const ClipSyncer syncer("/clips/Video_Sentello_20251210080000.avi",
                                std::chrono::milliseconds(5), log.sync());
        std::unique_lock lock(log.mutex);
        ASSERT_TRUE(log.changed.wait_for(lock, std::chrono::seconds(20),
                                         [&] { return log.paths.size() >= 3; }));
    }
    const std::lock_guard lock(log.mutex);
    for (const std::string& path : log.paths)
        EXPECT_EQ(path, "/clips/Video_Sentello_20251210080000.avi");
}

// The clip's end does not wait for the next sync.
TEST(ClipSyncer, EndsAtOnceBetweenTwoSyncs) {
    SyncLog log;
    auto syncer = std::make_unique<ClipSyncer>("clip.avi", std::chrono::hours(1), log.sync());
    EXPECT_TRUE(endsWithin(std::chrono::seconds(20), [&] { syncer.reset(); }));
    const std::lock_guard lock(log.mutex);
    EXPECT_TRUE(log.paths.empty());
}

// While the clip is written it is held, so that no other program starting up mends it.
TEST(ClipSyncer, HoldsTheClipAgainstARepairWhileItIsWritten) {
    TempFolder folder;
    const std::filesystem::path clip = folder / "Video_Sentello_20251210080000.avi";
    ASSERT_TRUE(aviclips::makeClip(clip, {"", false, false}));
    aviclips::writeAll(clip, aviclips::unfinished(aviclips::readAll(clip)));
    auto syncer = std::make_unique<ClipSyncer>(clip.string(), std::chrono::hours(1));
    EXPECT_EQ(repairAvi(clip).outcome, AviRepair::Outcome::InUse);
    EXPECT_EQ(aviState(clip), AviState::Unfinished);
    syncer.reset();
    EXPECT_EQ(repairAvi(clip).outcome, AviRepair::Outcome::Repaired);
}

// Each sync of a growing clip may cut a part of what is new, and the clip's end cuts the rest:
// each part plays, none is shorter than asked but the last, and together they hold the clip.
TEST(ClipSyncer, CutsAGrowingClipIntoPartsThatAddUpToIt) {
    TempFolder folder;
    const std::filesystem::path clip = folder / "Video_Sentello_20251210080000.avi";
    const std::filesystem::path whole = folder / "whole.avi";
    constexpr int kPictures = 250;
    ASSERT_TRUE(aviclips::makeClip(whole, {"", true, true}, kPictures));
    const aviclips::Bytes finished = aviclips::readAll(whole);
    const aviclips::Bytes written = aviclips::unfinished(finished);
    std::filesystem::create_directory(folder / "parts");
    std::mutex mutex;
    std::condition_variable grown;
    std::size_t size = 0;
    std::vector<ClipPart> parts;
    {
        // Each sync finds the clip grown by a little more, and at last finished by the muxer.
        ClipSyncer syncer(clip.string(), std::chrono::milliseconds(1),
                          [&](const std::string& path) {
                              const std::lock_guard lock(mutex);
                              size = std::min(size + 9000, finished.size());
                              aviclips::writeAll(path, size < finished.size()
                                                           ? written.substr(0, size)
                                                           : finished);
                              grown.notify_all();
                          },
                          {(folder / "parts").string() + "/", [&](const ClipPart& part) {
                               const std::lock_guard lock(mutex);
                               parts.push_back(part);
                           }});
        std::unique_lock lock(mutex);
        ASSERT_TRUE(grown.wait_for(lock, std::chrono::seconds(60),
                                   [&] { return size == finished.size(); }));
        syncer.finished();
        lock.unlock();
    }
    ASSERT_GE(parts.size(), 3u);
    int pictures = 0;
    for (std::size_t index = 0; index < parts.size(); ++index) {
        const ClipPart& part = parts[index];
        SCOPED_TRACE(part.path);
        EXPECT_EQ(part.index, int(index) + 1);
        EXPECT_EQ(part.last, index + 1 == parts.size());
        EXPECT_EQ(std::filesystem::path(part.path).parent_path(), folder / "parts");
        const aviclips::Played played = aviclips::play(part.path);
        EXPECT_EQ(played.ffmpegPictures, played.headerPictures);
        EXPECT_EQ(played.gstreamerPictures, played.headerPictures);
        if (!part.last) {
            EXPECT_GE(played.headerPictures, 100);
        }
        pictures += played.headerPictures;
    }
    EXPECT_EQ(pictures, kPictures);
}

TEST(ClipSyncer, CutsNoPartsUnlessAsked) {
    TempFolder folder;
    const std::filesystem::path clip = folder / "Video_Sentello_20251210080000.avi";
    ASSERT_TRUE(aviclips::makeClip(clip, {"", false, false}, 150));
    {
        ClipSyncer syncer(clip.string(), std::chrono::milliseconds(1));
        syncer.finished();
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()),
                            std::filesystem::directory_iterator()),
              1);
}

}  // namespace
