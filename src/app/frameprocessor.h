#pragma once

#include <cstdint>
#include <optional>

#include "detection/motiondetector.h"
#include "detection/workframe.h"

class Camera;
class StatusDisplay;

// One run of the motion detection per call: grab, make the working frame, show it, compare
// the blocks with the previous run and report the level and the trigger state.
class FrameProcessor {
public:
    FrameProcessor(Camera& camera, StatusDisplay& display, DetectionState& state);

    // Returns whether a trigger was raised; the caller carries out the trigger actions. A run
    // that gets no picture from the camera is skipped as a whole.
    bool processFrame(const DetectionValues& values);
    // Shows the newest picture without comparing it, for the times when no change may count.
    void showFrame(const DetectionValues& values);

    // The blocks to ignore, as the camera sees them, and whether changes of the whole light
    // are compensated.
    void setWatchOptions(const BlockMask& cameraMask, bool lightCompensation);

    // The share of changed blocks the last comparison found, in percent.
    float lastChangePercent() const { return m_comparison.changePercent; }

    // Pixel size of the last working frame; 0 until a picture was processed.
    int bytesPerPixel() const { return m_workFrame.bytesPerPixel; }

private:
    // False when the camera has no picture.
    bool showNewestPicture(const DetectionValues& values);

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
};
