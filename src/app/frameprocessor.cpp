#include "app/frameprocessor.h"

#include "app/statusdisplay.h"
#include "media/camera.h"

FrameProcessor::FrameProcessor(Camera& camera, StatusDisplay& display, DetectionState& state,
                               std::function<std::int64_t()> ticksMs)
    : m_camera(camera), m_display(display), m_state(state), m_ticksMs(std::move(ticksMs)) {
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

void FrameProcessor::showBlockDifferences(bool shown) {
    m_showsDifferences = shown;
    if (!shown)
        m_display.hideBlockDifferences();
}

bool FrameProcessor::processFrame(const DetectionValues& values) {
    const Shown shown = showNewestPicture(values);
    if (shown == Shown::nothing)
        return false;
    if (shown == Shown::newPicture)
        takeNewPicture(values);
    startBackground();
    compareWithReference(m_state, m_workFrame.averages, values.sensitivity, values.trigger,
                         m_comparison, m_options);
    for (const BlockPosition& block : m_comparison.changedBlocks) {
        m_display.markChangedBlock(block.column, block.row);
    }
    m_display.showChangeLevel(m_comparison.changePercent, values.trigger);
    m_display.showTriggerState(m_comparison.triggered);
    return m_comparison.triggered && shown == Shown::newPicture;
}

void FrameProcessor::showFrame(const DetectionValues& values) {
    if (showNewestPicture(values) == Shown::newPicture)
        takeNewPicture(values);
}

void FrameProcessor::startBackground() {
    if (m_backgroundSeconds > 0 && !m_background.started()) {
        m_background.learn(m_workFrame.averages, 0, m_backgroundSeconds);
        m_previousAt = m_ticksMs();
    }
}

void FrameProcessor::takeNewPicture(const DetectionValues& values) {
    // The background learns a picture when the next one comes, for as long as it was shown:
    // every run on a picture compares it with the same background, which it is not part of.
    if (m_backgroundSeconds > 0 && m_background.started()) {
        const std::int64_t nowMs = m_ticksMs();
        m_background.learn(m_previousAverages, double(nowMs - m_previousAt) / 1000.0,
                           m_backgroundSeconds);
        m_previousAt = nowMs;
    }
    startBackground();
    if (m_showsDifferences) {
        blockDifferences(m_options.background ? *m_options.background : m_previousAverages,
                         m_workFrame.averages, m_options, m_differences);
        m_display.showBlockDifferences(m_differences, values.sensitivity);
    }
    m_previousAverages = m_workFrame.averages;
}

FrameProcessor::Shown FrameProcessor::showNewestPicture(const DetectionValues& values) {
    const std::optional<std::uint64_t> sequence = m_camera.newestSequence();
    if (!sequence)
        return Shown::nothing;
    const bool otherValues =
        values.mirror != m_madeMirrored || values.brightness != m_madeWithBrightness;
    const bool newPicture = *sequence != m_madeFromSequence || otherValues;
    if (newPicture) {
        const auto frame = m_camera.grabFrame();
        if (!frame)
            return Shown::nothing;
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
        m_display.showIgnoredBlocks(m_options.ignored);
    }

    m_display.showLiveFrame(m_workFrame.halfSize, newPicture);
    return newPicture ? Shown::newPicture : Shown::samePicture;
}
