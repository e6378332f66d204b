#include "detection/avifile.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "../tempfolder.h"
#include "aviclips.h"

namespace {

using namespace aviclips;

class AviRepairTest : public ::testing::TestWithParam<ClipKind> {
protected:
    void SetUp() override {
        ASSERT_TRUE(makeClip(m_folder / "whole.avi", GetParam()));
        m_whole = readAll(m_folder / "whole.avi");
        m_unfinished = unfinished(m_whole);
        m_chunks = chunksOf(m_unfinished);
        ASSERT_GT(m_chunks.size(), 10u);
    }

    // The picture chunk in the middle of the clip.
    const Chunk& middlePicture() const {
        std::vector<const Chunk*> pictures;
        for (const Chunk& chunk : m_chunks) {
            if (chunk.picture())
                pictures.push_back(&chunk);
        }
        return *pictures[pictures.size() / 2];
    }

    // The pictures whole before `cut`.
    int wholePictures(std::size_t cut) const {
        return int(std::count_if(m_chunks.begin(), m_chunks.end(), [&](const Chunk& chunk) {
            return chunk.picture() && chunk.at + 8 + chunk.size <= cut;
        }));
    }

    std::filesystem::path cutAt(std::size_t cut, const std::string& name = "cut.avi") {
        const std::filesystem::path path = m_folder / name;
        writeAll(path, m_unfinished.substr(0, cut));
        return path;
    }

    TempFolder m_folder;
    Bytes m_whole;
    Bytes m_unfinished;
    std::vector<Chunk> m_chunks;
};

TEST_P(AviRepairTest, AFinishedClipIsWholeAndLeftAlone) {
    const std::filesystem::path path = m_folder / "whole.avi";
    EXPECT_EQ(aviState(path), AviState::Finished);
    EXPECT_EQ(repairAvi(path).outcome, AviRepair::Outcome::Whole);
    EXPECT_EQ(readAll(path), m_whole);
}

TEST_P(AviRepairTest, ACutClipPlaysItsWholePicturesAfterTheRepair) {
    const Chunk& middle = middlePicture();
    const std::vector<std::size_t> cuts{
        middle.at + 8 + middle.size / 2,  // within a chunk's data
        middle.end(),                     // right after a whole chunk
        middle.at + 4,                    // within a chunk's header
        m_unfinished.size(),              // every chunk whole, only the index missing
    };
    for (const std::size_t cut : cuts) {
        SCOPED_TRACE("cut at byte " + std::to_string(cut));
        const std::filesystem::path path = cutAt(cut);
        ASSERT_EQ(aviState(path), AviState::Unfinished);
        const AviRepair repair = repairAvi(path);
        const int expected = wholePictures(cut);
        ASSERT_EQ(repair.outcome, AviRepair::Outcome::Repaired) << repair.reason;
        EXPECT_EQ(repair.pictures, expected);
        EXPECT_NEAR(repair.seconds, expected / 25.0, 1e-9);
        EXPECT_EQ(aviState(path), AviState::Finished);
        const Played played = play(path);
        EXPECT_TRUE(played.indexed);
        EXPECT_EQ(played.headerPictures, expected);
        EXPECT_EQ(played.ffmpegPictures, expected);
        EXPECT_EQ(played.gstreamerPictures, expected);
        // A second repair finds nothing to do.
        const Bytes repaired = readAll(path);
        EXPECT_EQ(repairAvi(path).outcome, AviRepair::Outcome::Whole);
        EXPECT_EQ(readAll(path), repaired);
    }
}

TEST_P(AviRepairTest, ARepairCutShortIsFinishedByTheNext) {
    const std::filesystem::path path = cutAt(m_unfinished.size() - 100);
    ASSERT_EQ(repairAvi(path).outcome, AviRepair::Outcome::Repaired);
    const Bytes repaired = readAll(path);
    // Killed while writing: part of the index on the disk, the header as it was.
    const std::size_t index = repaired.find("idx1");
    Bytes killed = m_unfinished.substr(0, index) + repaired.substr(index, 40);
    writeAll(path, killed);
    const AviRepair again = repairAvi(path);
    ASSERT_EQ(again.outcome, AviRepair::Outcome::Repaired) << again.reason;
    EXPECT_EQ(readAll(path), repaired);
    // The index whole, the header not yet rewritten.
    writeAll(path, m_unfinished.substr(0, index) + repaired.substr(index));
    EXPECT_EQ(repairAvi(path).outcome, AviRepair::Outcome::Repaired);
    EXPECT_EQ(readAll(path), repaired);
}

TEST_P(AviRepairTest, ZeroBytesAfterTheLastChunkGo) {
    const std::size_t cut = middlePicture().end();
    const std::filesystem::path path = cutAt(cut);
    writeAll(path, m_unfinished.substr(0, cut) + Bytes(5000, '\0'));
    const AviRepair repair = repairAvi(path);
    ASSERT_EQ(repair.outcome, AviRepair::Outcome::Repaired) << repair.reason;
    EXPECT_EQ(play(path).ffmpegPictures, wholePictures(cut));
}

TEST_P(AviRepairTest, AClipWithoutAWholePictureIsLeftAsItIs) {
    const std::size_t firstPicture =
        std::find_if(m_chunks.begin(), m_chunks.end(), [](const Chunk& c) {
            return c.picture();
        })->at;
    // In the header, right after the header list, and before the first picture is whole.
    for (const std::size_t cut : {std::size_t(100), m_chunks.front().at, firstPicture + 20}) {
        SCOPED_TRACE("cut at byte " + std::to_string(cut));
        const std::filesystem::path path = cutAt(cut);
        EXPECT_EQ(aviState(path), AviState::Unfinished);
        const AviRepair repair = repairAvi(path);
        EXPECT_EQ(repair.outcome, AviRepair::Outcome::Hopeless);
        EXPECT_FALSE(repair.reason.empty());
        EXPECT_EQ(readAll(path), m_unfinished.substr(0, cut));
    }
}

TEST_P(AviRepairTest, GarbageAmidTheChunksKeepsTheFileAsItWas) {
    Bytes clip = m_unfinished;
    const Chunk& middle = m_chunks[m_chunks.size() / 2];
    std::memcpy(clip.data() + middle.at, "GARBAGE!", 8);
    const std::filesystem::path path = m_folder / "garbage.avi";
    writeAll(path, clip);
    const AviRepair repair = repairAvi(path);
    EXPECT_EQ(repair.outcome, AviRepair::Outcome::Hopeless);
    EXPECT_NE(repair.reason.find(std::to_string(middle.at)), std::string::npos) << repair.reason;
    EXPECT_EQ(readAll(path), clip);
}

// Parts of a clip while it grows: each plays alone, and together they hold every picture.
TEST_P(AviRepairTest, PartsOfAGrowingClipPlayAndAddUpToTheWhole) {
    const std::filesystem::path growing = m_folder / "growing.avi";
    std::uint64_t next = 0;
    int index = 0;
    std::int64_t pictures = 0;
    const std::size_t header = m_chunks.front().at;
    bool last = false;
    for (std::size_t size = header - 100; !last; size += 7919) {
        last = size > m_unfinished.size();
        writeAll(growing, last ? m_whole : m_unfinished.substr(0, size));
        const std::filesystem::path partPath = m_folder / ("part" + std::to_string(index) + ".avi");
        const AviPart part = writeAviPart(growing, next, partPath, 0.4, last);
        ASSERT_NE(part.outcome, AviPart::Outcome::Failed) << part.reason;
        if (part.outcome == AviPart::Outcome::NotYet) {
            EXPECT_FALSE(std::filesystem::exists(partPath));
            continue;
        }
        SCOPED_TRACE(partPath.string());
        EXPECT_GE(part.seconds, last ? 0.0 : 0.4);
        const Played played = play(partPath);
        EXPECT_EQ(played.headerPictures, part.pictures);
        EXPECT_EQ(played.ffmpegPictures, part.pictures);
        EXPECT_EQ(played.gstreamerPictures, part.pictures);
        pictures += part.pictures;
        next = part.next;
        ++index;
    }
    EXPECT_GE(index, 3);
    EXPECT_EQ(pictures, kPictures);
}

INSTANTIATE_TEST_SUITE_P(Clips, AviRepairTest,
                         ::testing::Values(ClipKind{"MotionJpeg", false, false},
                                           ClipKind{"MotionJpegWithSound", false, true},
                                           ClipKind{"Mpeg4", true, false},
                                           ClipKind{"Mpeg4WithSound", true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(AviHostileFiles, NothingThatIsNoClipIsTouchedOrWaitedFor) {
    TempFolder folder;
    const auto hopeless = [](const std::filesystem::path& path) {
        EXPECT_NE(aviState(path), AviState::Finished) << path;
        EXPECT_EQ(repairAvi(path).outcome, AviRepair::Outcome::Hopeless) << path;
        const AviPart part = writeAviPart(path, 0, path.string() + ".part", 0.0, true);
        EXPECT_NE(part.outcome, AviPart::Outcome::Written) << path;
    };
    writeAll(folder / "empty.avi", "");
    hopeless(folder / "empty.avi");
    EXPECT_EQ(aviState(folder / "empty.avi"), AviState::NoAvi);
    writeAll(folder / "garbage.avi", Bytes(100000, '\x5a'));
    hopeless(folder / "garbage.avi");
    EXPECT_EQ(aviState(folder / "garbage.avi"), AviState::NoAvi);
    // A RIFF that claims four gigabytes and lists that hold more than they could.
    Bytes huge =
        "RIFF\xff\xff\xff\xff"
        "AVI LIST\xff\xff\xff\xf0hdrlavih\xff\xff\xff\xff";
    huge += Bytes(200, '\xff');
    writeAll(folder / "huge.avi", huge);
    hopeless(folder / "huge.avi");
    writeAll(folder / "odd \n'name\".avi", huge);
    hopeless(folder / "odd \n'name\".avi");
    ASSERT_EQ(::mkfifo((folder / "fifo.avi").c_str(), 0600), 0);
    hopeless(folder / "fifo.avi");
    std::filesystem::create_directory(folder / "folder.avi");
    hopeless(folder / "folder.avi");
    hopeless(folder / "missing.avi");
}

TEST(AviHostileFiles, ALinkIsNeverFollowed) {
    TempFolder folder;
    ASSERT_TRUE(makeClip(folder / "target.avi", {"", false, false}));
    const Bytes target = unfinished(readAll(folder / "target.avi"));
    writeAll(folder / "target.avi", target);
    std::filesystem::create_symlink(folder / "target.avi", folder / "link.avi");
    EXPECT_EQ(repairAvi(folder / "link.avi").outcome, AviRepair::Outcome::Hopeless);
    EXPECT_EQ(readAll(folder / "target.avi"), target);
}

TEST(AviHostileFiles, EveryCutAndEveryFlippedByteOfAHeaderEndsWell) {
    TempFolder folder;
    ASSERT_TRUE(makeClip(folder / "clip.avi", {"", true, true}, 10));
    const Bytes clip = unfinished(readAll(folder / "clip.avi"));
    const std::filesystem::path path = folder / "probe.avi";
    const std::size_t header = clip.find("movi") + 40;
    for (std::size_t cut = 0; cut < header; cut += 3) {
        writeAll(path, clip.substr(0, cut));
        EXPECT_NE(repairAvi(path).outcome, AviRepair::Outcome::Repaired) << cut;
    }
    // Reading is what a flipped byte can lead astray; a repair syncs twice, so every few.
    for (std::size_t at = 0; at < header; ++at) {
        Bytes flipped = clip;
        flipped[at] = char(flipped[at] ^ 0x80);
        // New files each time: the file system syncs a file written over or renamed over.
        std::filesystem::remove(path);
        std::filesystem::remove(folder / "part.avi");
        writeAll(path, flipped);
        aviState(path);
        writeAviPart(path, 0, (folder / "part.avi").string(), 0.0, true);
        if (at % 32 == 0 && repairAvi(path).outcome == AviRepair::Outcome::Hopeless) {
            EXPECT_EQ(readAll(path), flipped) << at;
        }
    }
}

TEST(AviParts, APartThatCannotBeWrittenFailsAndLeavesNothing) {
    TempFolder folder;
    ASSERT_TRUE(makeClip(folder / "clip.avi", {"", false, false}));
    const AviPart part =
        writeAviPart(folder / "clip.avi", 0, folder / "missing" / "part.avi", 0.0, true);
    EXPECT_EQ(part.outcome, AviPart::Outcome::Failed);
    EXPECT_NE(part.reason.find("part.avi"), std::string::npos) << part.reason;
    EXPECT_EQ(part.next, 0u);
    std::filesystem::create_directory(folder / "parts");
    EXPECT_EQ(
        writeAviPart(folder / "clip.avi", 0, folder / "parts" / "part.avi", 0.0, true).outcome,
        AviPart::Outcome::Written);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder / "parts"),
                            std::filesystem::directory_iterator()),
              1)
        << "no temporary file stays behind";
}

TEST(AviInUse, AClipThatAnotherHoldsIsNotRepaired) {
    TempFolder folder;
    ASSERT_TRUE(makeClip(folder / "clip.avi", {"", false, false}));
    const Bytes clip = unfinished(readAll(folder / "clip.avi"));
    writeAll(folder / "clip.avi", clip);
    const int holder = ::open((folder / "clip.avi").c_str(), O_RDONLY);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    EXPECT_EQ(repairAvi(folder / "clip.avi").outcome, AviRepair::Outcome::InUse);
    EXPECT_EQ(readAll(folder / "clip.avi"), clip);
    ::close(holder);
    EXPECT_EQ(repairAvi(folder / "clip.avi").outcome, AviRepair::Outcome::Repaired);
}

}  // namespace
