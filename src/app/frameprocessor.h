#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "detection/backgroundpicture.h"
#include "detection/motiondetector.h"
#include "detection/workframe.h"

class Camera;
class StatusDisplay;

// One run of the motion detection per call: grab, make the working frame, show it, compare
// the blocks with the reference and report the level and the trigger state.
class FrameProcessor {
public:
    // `ticksMs` tells the time that the background learns by.
    FrameProcessor(Camera& camera, StatusDisplay& display, DetectionState& state,
                   std::function<std::int64_t()> ticksMs);

    // Returns whether a trigger was raised; the caller carries out the trigger actions. Only a
    // run with a new camera picture triggers: the runs between pictures find the same picture,
    // which against a background would trigger again on every one of them. A run that gets no
    // picture from the camera is skipped as a whole.
    bool processFrame(const DetectionValues& values);
    // Shows the newest picture without comparing it, for the times when no change may count.
    void showFrame(const DetectionValues& values);

    // The blocks to ignore, as the camera sees them, whether changes of the whole light are
    // compensated, and the reference: the previous run with 0, else a background picture that
    // learns with this time constant in seconds.
    void setWatchOptions(const BlockMask& cameraMask, bool lightCompensation,
                         int backgroundSeconds);
    // The background starts anew from the next picture: the camera's picture changed in ways
    // that are no motion (its own settings, its format, a reconnection).
    void restartBackground() { m_background.forget(); }
    // Each block's difference from the reference as a colour wash over the live picture.
    void showBlockDifferences(bool shown);

    // The share of changed blocks the last comparison found, in percent.
    float lastChangePercent() const { return m_comparison.changePercent; }

    // Pixel size of the last working frame; 0 until a picture was processed.
    int bytesPerPixel() const { return m_workFrame.bytesPerPixel; }

private:
    enum class Shown { nothing, samePicture, newPicture };
    Shown showNewestPicture(const DetectionValues& values);
    // After a new picture: the background learns the one before, the wash shows the
    // differences from the reference that the comparison takes.
    void takeNewPicture(const DetectionValues& values);
    // The first picture of a background is taken whole, before it is compared with.
    void startBackground();

    Camera& m_camera;
    StatusDisplay& m_display;
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
    // next, and the reference of the wash while no frame is compared with the previous run.
    BlockGrid m_previousAverages{};
    std::int64_t m_previousAt = 0;
    bool m_showsDifferences = false;
    BlockDifferences m_differences{};
};
