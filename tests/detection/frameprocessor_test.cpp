// Whole runs of the detection on pictures made here: no camera and no window. What a run finds
// is all the window gets, so these runs show what the user sees and when the alarm goes.

#include "detection/frameprocessor.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "detection/triggeractions.h"

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;

// Pictures of the camera's size, blue, green, red, unused; a new one is a new sequence number.
class MadePictures : public PictureSource {
public:
    // A grey room; a box of white from `boxLeft` to the right edge when asked.
    void deliver(int boxLeft = kWidth) {
        auto pixels = std::make_shared<std::vector<std::uint8_t>>(kWidth * kHeight * 4, 90);
        for (int y = 0; y < kHeight; ++y) {
            for (int x = boxLeft; x < kWidth; ++x) {
                for (int channel = 0; channel < 3; ++channel)
                    (*pixels)[(y * kWidth + x) * 4 + channel] = 250;
            }
        }
        m_pixels = std::move(pixels);
        ++m_sequence;
    }
    void stop() { m_pixels.reset(); }

    std::optional<CameraFrame> grabFrame() override {
        ++grabs;
        if (!m_pixels)
            return std::nullopt;
        return CameraFrame{{m_pixels->data(), kWidth, kHeight, kWidth * 4}, m_sequence, m_pixels};
    }
    std::optional<std::uint64_t> newestSequence() const override {
        if (!m_pixels)
            return std::nullopt;
        return m_sequence;
    }

    int grabs = 0;

private:
    std::shared_ptr<std::vector<std::uint8_t>> m_pixels;
    std::uint64_t m_sequence = 0;
};

class DetectionRun : public ::testing::Test {
protected:
    // Three quiet pictures: past the warm-up, with the room as the reference.
    void settle() {
        for (int picture = 0; picture < 3; ++picture) {
            source.deliver();
            ASSERT_FALSE(processor.processFrame(values).triggered);
        }
    }

    MadePictures source;
    DetectionState state;
    std::int64_t nowMs = 0;
    FrameProcessor processor{source, state, [this] { return nowMs; }};
    DetectionValues values{128, 50, 25, false};
};

TEST_F(DetectionRun, WithoutAPictureNothingRunsAndNothingIsToBeShown) {
    const RunResult run = processor.processFrame(values);
    EXPECT_EQ(run.picture, RunResult::Picture::none);
    EXPECT_FALSE(run.compared);
    EXPECT_EQ(run.halfSize, nullptr);
    EXPECT_EQ(state.warmUpFrames, 0);
    EXPECT_EQ(processor.bytesPerPixel(), 0);
    EXPECT_EQ(source.grabs, 0) << "no sequence, no grab";
}

// The box covers the right half: half of the blocks change on its picture, and that alone
// triggers. The runs on the same picture find it again and say nothing new.
TEST_F(DetectionRun, ABoxTriggersOnItsPictureAndTheRunsBetweenPicturesDoNot) {
    settle();
    source.deliver(kWidth / 2);
    const RunResult run = processor.processFrame(values);
    EXPECT_EQ(run.picture, RunResult::Picture::fresh);
    EXPECT_TRUE(run.compared);
    EXPECT_EQ(run.changePercent, 50.0f);
    EXPECT_EQ(run.changedBlocks->size(), std::size_t(kBlockCount / 2));
    EXPECT_TRUE(run.reachedTrigger);
    EXPECT_TRUE(run.triggered);
    EXPECT_EQ(processor.bytesPerPixel(), 4);
    const int grabs = source.grabs;

    for (int again = 0; again < 5; ++again) {
        const RunResult same = processor.processFrame(values);
        EXPECT_EQ(same.picture, RunResult::Picture::same);
        EXPECT_FALSE(same.triggered);
    }
    EXPECT_EQ(source.grabs, grabs) << "the same picture is not grabbed again";
}

// Against a background the same picture keeps its level on every run, above the trigger, and
// still only its first run triggers.
TEST_F(DetectionRun, AgainstTheBackgroundOnlyTheNewPictureTriggers) {
    processor.setWatchOptions({}, false, 60);
    settle();
    source.deliver(kWidth / 2);
    EXPECT_TRUE(processor.processFrame(values).triggered);
    for (int again = 0; again < 5; ++again) {
        nowMs += 1000;
        const RunResult same = processor.processFrame(values);
        EXPECT_EQ(same.changePercent, 50.0f);
        EXPECT_TRUE(same.reachedTrigger);
        EXPECT_FALSE(same.triggered);
    }
}

// The picture the window shows is the working frame's half-size copy: mirrored when asked,
// with the brightness applied.
TEST_F(DetectionRun, TheShownPictureIsTheMirroredWorkingFrame) {
    source.deliver(kWidth / 2);
    values.mirror = true;
    const RunResult run = processor.showFrame(values);
    ASSERT_NE(run.halfSize, nullptr);
    EXPECT_FALSE(run.compared) << "shown, not compared";
    const std::vector<std::uint8_t>& picture = *run.halfSize;
    ASSERT_EQ(picture.size(), std::size_t(kWidth * kHeight * 4));
    EXPECT_EQ(picture[0], 250) << "the box, mirrored to the left";
    EXPECT_EQ(picture[(kWidth - 1) * 4], 90);

    values.brightness = 138;
    const RunResult brighter = processor.showFrame(values);
    EXPECT_EQ(brighter.picture, RunResult::Picture::fresh) << "other values make a new frame";
    EXPECT_EQ((*brighter.halfSize)[(kWidth - 1) * 4], 100);
}

// The ignored blocks come once with the first run and again after a new mask or mirroring;
// the block differences come with every new picture while they are asked for.
TEST_F(DetectionRun, MaskAndDifferencesComeWhenTheyChange) {
    BlockMask mask;
    mask.set(blockIndex(0, 0));
    processor.setWatchOptions(mask, false, 0);
    source.deliver();
    const RunResult first = processor.processFrame(values);
    ASSERT_NE(first.ignoredBlocks, nullptr);
    EXPECT_TRUE((*first.ignoredBlocks)[blockIndex(0, 0)]);
    EXPECT_EQ(first.differences, nullptr) << "not asked";
    EXPECT_EQ(processor.processFrame(values).ignoredBlocks, nullptr);

    values.mirror = true;
    const RunResult mirrored = processor.processFrame(values);
    ASSERT_NE(mirrored.ignoredBlocks, nullptr);
    EXPECT_TRUE((*mirrored.ignoredBlocks)[blockIndex(kBlockColumns - 1, 0)]);

    processor.askForBlockDifferences(true);
    source.deliver(kWidth / 2);
    const RunResult moved = processor.processFrame(values);
    ASSERT_NE(moved.differences, nullptr);
    EXPECT_GT((*moved.differences)[blockIndex(0, 10)], 400) << "the box, mirrored left";
    EXPECT_EQ((*moved.differences)[blockIndex(kBlockColumns - 1, 10)], 0);
    EXPECT_EQ(processor.processFrame(values).differences, nullptr) << "the same picture";
}

// From the picture to the count: a trigger in counting mode counts once and holds off for the
// wait, so the box that keeps moving is not counted again before the wait is over.
TEST_F(DetectionRun, AWholeRunCountsATriggerAndTheWaitHoldsOff) {
    std::vector<std::string> sounds;
    TriggerActions actions(state, "/nonexistent/", "Video_Sentello_",
                           {.beep = [&] { sounds.push_back("beep"); },
                            .playAlertFile = [](const std::string&) {},
                            .launchProgram = [](const std::string&, const std::string&) {},
                            .pauseDetection = [](int) {}});
    TriggerOptions options;
    options.beep = true;
    options.recordMode = true;
    options.countOnly = true;
    options.counter = "0";
    options.waitSeconds = 1;
    settle();
    int picture = 0;
    for (int run = 0; run < 400; ++run) {
        // A new picture every fourth run, the box jumping between halves.
        if (run % 4 == 0)
            source.deliver(++picture % 2 ? kWidth / 2 : kWidth);
        if (processor.processFrame(values).triggered) {
            const TriggerOutcome outcome = actions.runTriggerActions(options);
            ASSERT_EQ(outcome.kind, TriggerOutcome::Kind::Counted);
            options.counter = outcome.detail;
        }
    }
    // Triggers at runs 0, about 104, 208 and 312: each waits 100 runs, then the next new picture.
    EXPECT_EQ(options.counter, "4");
    EXPECT_EQ(sounds.size(), 4u);
}

}  // namespace
