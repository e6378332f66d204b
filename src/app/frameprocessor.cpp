#include "app/frameprocessor.h"

#include "app/statusdisplay.h"
#include "media/camera.h"

FrameProcessor::FrameProcessor(Camera& camera, StatusDisplay& display, DetectionState& state)
    : m_camera(camera), m_display(display), m_state(state) {
    m_comparison.changedBlocks.reserve(kBlockCount);
}

void FrameProcessor::setWatchOptions(const BlockMask& cameraMask, bool lightCompensation) {
    m_cameraMask = cameraMask;
    m_maskMirrored.reset();
    m_options.lightCompensation = lightCompensation;
}

bool FrameProcessor::processFrame(const DetectionValues& values) {
    if (!showNewestPicture(values))
        return false;
    if (m_maskMirrored != values.mirror) {
        m_options.ignored = maskInWorkFrame(m_cameraMask, values.mirror);
        m_maskMirrored = values.mirror;
        m_display.showIgnoredBlocks(m_options.ignored);
    }
    compareWithReference(m_state, m_workFrame.averages, values.sensitivity, values.trigger,
                         m_comparison, m_options);
    for (const BlockPosition& block : m_comparison.changedBlocks) {
        m_display.markChangedBlock(block.column, block.row);
    }
    m_display.showChangeLevel(m_comparison.changePercent, values.trigger);
    m_display.showTriggerState(m_comparison.triggered);
    return m_comparison.triggered;
}

void FrameProcessor::showFrame(const DetectionValues& values) {
    showNewestPicture(values);
}

bool FrameProcessor::showNewestPicture(const DetectionValues& values) {
    const std::optional<std::uint64_t> sequence = m_camera.newestSequence();
    if (!sequence)
        return false;
    const bool newPicture = *sequence != m_madeFromSequence || values.mirror != m_madeMirrored ||
                            values.brightness != m_madeWithBrightness;
    if (newPicture) {
        const auto frame = m_camera.grabFrame();
        if (!frame)
            return false;
        makeWorkFrame(frame->view, values.mirror, values.brightness, m_workFrame);
        m_madeFromSequence = frame->sequence;
        m_madeMirrored = values.mirror;
        m_madeWithBrightness = values.brightness;
    }  // the grabbed picture is released here

    m_display.showLiveFrame(m_workFrame.halfSize, newPicture);
    return true;
}
