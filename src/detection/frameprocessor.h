#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "detection/backgroundpicture.h"
#include "detection/motiondetector.h"
#include "detection/picturesource.h"
#include "detection/workframe.h"

// What one run found. The pointers lead into the processor's own buffers and stay valid until
// its next run.
struct RunResult {
    enum class Picture {
        // The source had no picture: the run did nothing, and nothing is to be shown.
        none,
        // The picture of the run before, maybe with other detection values.
        same,
        // A picture the source delivered since the run before.
        fresh,
    };
    Picture picture = Picture::none;
    // The working frame's half-size copy, 320 x 240 pixels of blue, green, red, unused.
    const std::vector<std::uint8_t>* halfSize = nullptr;
    // Whether the picture was compared with the reference; the fields below tell its result.
    bool compared = false;
    const std::vector<BlockPosition>* changedBlocks = nullptr;
    float changePercent = 0.0f;
    // The comparison reached the trigger level.
    bool reachedTrigger = false;
    // Only a run with a new picture triggers: the runs between pictures find the same picture,
    // which against a background would trigger again on every one of them.
    bool triggered = false;
    // The blocks the detection ignores, in the working frame's orientation, when they changed
    // since the run before (a new mask, the other mirroring).
    const BlockMask* ignoredBlocks = nullptr;
    // Each block's difference from the reference, on a new picture while they are asked for.
    const BlockDifferences* differences = nullptr;
};

// One run of the motion detection per call: grab, make the working frame, compare the blocks
// with the reference, and say what was found. Needs neither the camera nor a window: the
// pictures come from a PictureSource, and the caller shows the result.
class FrameProcessor {
public:
    // `ticksMs` tells the time that the background learns by.
    FrameProcessor(PictureSource& source, DetectionState& state,
                   std::function<std::int64_t()> ticksMs);

    // The caller carries out the trigger actions when the result says triggered. A run that
    // gets no picture from the source is skipped as a whole.
    RunResult processFrame(const DetectionValues& values);
    // Makes the newest picture ready to show without comparing it, for the times when no
    // change may count.
    RunResult showFrame(const DetectionValues& values);

    // The blocks to ignore, as the camera sees them, whether changes of the whole light are
    // compensated, and the reference: the previous run with 0, else a background picture that
    // learns with this time constant in seconds.
    void setWatchOptions(const BlockMask& cameraMask, bool lightCompensation,
                         int backgroundSeconds);
    // The background starts anew from the next picture: the camera's picture changed in ways
    // that are no motion (its own settings, its format, a reconnection).
    void restartBackground() { m_background.forget(); }
    // Each new picture's block differences from the reference come with its result.
    void askForBlockDifferences(bool asked) { m_differencesAsked = asked; }

    // The share of changed blocks the last comparison found, in percent.
    float lastChangePercent() const { return m_comparison.changePercent; }

    // Pixel size of the last working frame; 0 until a picture was processed.
    int bytesPerPixel() const { return m_workFrame.bytesPerPixel; }

private:
    // Makes the working frame of the newest picture when it is new or the values changed.
    RunResult takeNewestPicture(const DetectionValues& values);
    // After a new picture: the background learns the one before, the differences from the
    // reference that the comparison takes are measured when asked for.
    void takeNewPicture(RunResult& result);
    // The first picture of a background is taken whole, before it is compared with.
    void startBackground();

    PictureSource& m_source;
    DetectionState& m_state;
    WorkFrame m_workFrame;
    ComparisonResult m_comparison;
    ComparisonOptions m_options;
    BlockMask m_cameraMask;
    // The mirroring that m_options.ignored was turned for; none after a new mask.
    std::optional<bool> m_maskMirrored;

    // What the working frame was made from: the camera delivers slower than the detection
    // runs, and the same picture with the same values gives the same working frame.
    std::uint64_t m_madeFromSequence = 0;
    bool m_madeMirrored = false;
    int m_madeWithBrightness = -1;

    std::function<std::int64_t()> m_ticksMs;
    int m_backgroundSeconds = 0;
    BackgroundPicture m_background;
    // The block averages of the picture before, and when it came: what the background learns
    // next, and the reference of the differences while no frame is compared with the previous
    // run.
    BlockGrid m_previousAverages{};
    std::int64_t m_previousAt = 0;
    bool m_differencesAsked = false;
    BlockDifferences m_differences{};
};
