#pragma once

#include "detection/backgroundpicture.h"
#include "detection/motiondetector.h"
#include "detection/workframe.h"

// The detection as the program runs it once per camera picture, at the start values, against
// the previous run or against a background picture with a time constant of ten seconds.
struct DetectionRun {
    DetectionState state;
    ComparisonResult result;
    WorkFrame work;
    BackgroundPicture background;
    ComparisonOptions options;
    int trigger = 25;

    explicit DetectionRun(bool withBackground, int triggerPercent = 25) : trigger(triggerPercent) {
        if (withBackground)
            options.background = &background.blocks();
    }
    // One picture, `seconds` after the one before; whether it triggered.
    bool run(const FrameView& picture, double seconds) {
        makeWorkFrame(picture, true, 128, work);
        if (options.background && !background.started())
            background.learn(work.averages, 0, 10);
        compareWithReference(state, work.averages, 50, trigger, result, options);
        if (options.background)
            background.learn(work.averages, seconds, 10);
        return result.triggered;
    }
};
