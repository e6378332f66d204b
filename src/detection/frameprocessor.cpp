#include "detection/frameprocessor.h"

FrameProcessor::FrameProcessor(PictureSource& source, DetectionState& state,
                               std::function<std::int64_t()> ticksMs)
    : m_source(source), m_state(state), m_ticksMs(std::move(ticksMs)) {
    m_comparison.changedBlocks.reserve(kBlockCount);
}

void FrameProcessor::setWatchOptions(const BlockMask& cameraMask, bool lightCompensation,
                                     int backgroundSeconds) {
    m_cameraMask = cameraMask;
    m_maskMirrored.reset();
    m_options.lightCompensation = lightCompensation;
    if (backgroundSeconds == 0)
        m_background.forget();
    m_backgroundSeconds = backgroundSeconds;
    m_options.background = backgroundSeconds > 0 ? &m_background.blocks() : nullptr;
}

RunResult FrameProcessor::processFrame(const DetectionValues& values) {
    RunResult result = takeNewestPicture(values);
    if (result.picture == RunResult::Picture::none)
        return result;
    startBackground();
    compareWithReference(m_state, m_workFrame.averages, values.sensitivity, values.trigger,
                         m_comparison, m_options);
    result.compared = true;
    result.changedBlocks = &m_comparison.changedBlocks;
    result.changePercent = m_comparison.changePercent;
    result.reachedTrigger = m_comparison.triggered;
    result.triggered = m_comparison.triggered && result.picture == RunResult::Picture::fresh;
    return result;
}

RunResult FrameProcessor::showFrame(const DetectionValues& values) {
    return takeNewestPicture(values);
}

void FrameProcessor::startBackground() {
    if (m_backgroundSeconds > 0 && !m_background.started()) {
        m_background.learn(m_workFrame.averages, 0, m_backgroundSeconds);
        m_previousAt = m_ticksMs();
    }
}

void FrameProcessor::takeNewPicture(RunResult& result) {
    // The background learns a picture when the next one comes, for as long as it was shown:
    // every run on a picture compares it with the same background, which it is not part of.
    if (m_backgroundSeconds > 0 && m_background.started()) {
        const std::int64_t nowMs = m_ticksMs();
        m_background.learn(m_previousAverages, double(nowMs - m_previousAt) / 1000.0,
                           m_backgroundSeconds);
        m_previousAt = nowMs;
    }
    startBackground();
    if (m_differencesAsked) {
        blockDifferences(m_options.background ? *m_options.background : m_previousAverages,
                         m_workFrame.averages, m_options, m_differences);
        result.differences = &m_differences;
    }
    m_previousAverages = m_workFrame.averages;
}

RunResult FrameProcessor::takeNewestPicture(const DetectionValues& values) {
    RunResult result;
    const std::optional<std::uint64_t> sequence = m_source.newestSequence();
    if (!sequence)
        return result;
    const bool otherValues =
        values.mirror != m_madeMirrored || values.brightness != m_madeWithBrightness;
    const bool newPicture = *sequence != m_madeFromSequence || otherValues;
    if (newPicture) {
        const std::optional<CameraFrame> frame = m_source.grabFrame();
        if (!frame)
            return result;
        makeWorkFrame(frame->view, values.mirror, values.brightness, m_workFrame);
        m_madeFromSequence = frame->sequence;
        m_madeMirrored = values.mirror;
        m_madeWithBrightness = values.brightness;
    }  // the grabbed picture is released here
    // A background of other brightness or the other way round would differ everywhere.
    if (otherValues)
        m_background.forget();
    if (m_maskMirrored != values.mirror) {
        m_options.ignored = maskInWorkFrame(m_cameraMask, values.mirror);
        m_maskMirrored = values.mirror;
        result.ignoredBlocks = &m_options.ignored;
    }
    result.picture = newPicture ? RunResult::Picture::fresh : RunResult::Picture::same;
    result.halfSize = &m_workFrame.halfSize;
    if (newPicture)
        takeNewPicture(result);
    return result;
}
