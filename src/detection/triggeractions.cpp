#include "detection/triggeractions.h"

#include <charconv>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <utility>

#include "detection/clipfiles.h"
#include "detection/datetemplate.h"

namespace {

// Two seconds more than asked, as the clip's start takes a moment.
constexpr int kClipExtraSeconds = 2;
constexpr int kPauseOutsideRecordingMs = 500;

}  // namespace

std::string countedOnce(const std::string& counterText) {
    std::int64_t count = 0;
    const char* begin = counterText.data();
    const char* end = begin + counterText.size();
    if (begin != end && *begin == '+')
        ++begin;
    const auto [stop, error] = std::from_chars(begin, end, count);
    if (error != std::errc() || stop != end || begin == end)
        count = 0;
    if (count < std::numeric_limits<std::int64_t>::max())
        ++count;
    return std::to_string(count);
}

TriggerActions::TriggerActions(DetectionState& state, std::string clipFolder, std::string clipStem,
                               TriggerServices services)
    : m_state(state),
      m_clipFolder(std::move(clipFolder)),
      m_clipStem(std::move(clipStem)),
      m_services(std::move(services)) {}

TriggerOutcome TriggerActions::runTriggerActions(const TriggerOptions& options) {
    soundAlarm(options);
    if (!options.recordMode) {
        m_state.holdOffFrames = 1;
        m_services.pauseDetection(kPauseOutsideRecordingMs);
        return {};
    }
    m_state.holdOffFrames = 1;
    if (options.countOnly) {
        m_state.holdOffFrames = holdOffRunsForWait(options.waitSeconds);
        return {TriggerOutcome::Kind::Counted, countedOnce(options.counter), {}, {}};
    }
    if (m_clipRequested)
        return {TriggerOutcome::Kind::ClipUnderWay, m_lastVideoPath, {}, {}};
    return startRecording(options);
}

TriggerOutcome TriggerActions::startRecording(const TriggerOptions& options) {
    const DateFields now = localNow();
    const std::string path = newClipPath(m_clipFolder, m_clipStem, now);
    const std::string dateText = formatDateTemplate(kDateTimeTemplate, now);
    m_lastTriggerText = dateText;
    m_lastVideoPath = path;
    m_clipRequested = true;
    return {TriggerOutcome::Kind::ClipStarted, path, path + '\n' + dateText,
            ClipRequest{
                path, options.clipLengthSeconds + kClipExtraSeconds, options.clipWithSound, {}}};
}

std::string TriggerActions::clipContinued(const std::string& path) {
    m_lastVideoPath = path;
    return path + '\n' + formatDateTemplate(kDateTimeTemplate, localNow());
}

void TriggerActions::soundAlarm(const TriggerOptions& options) {
    if (options.beep)
        m_services.beep();
    if (options.playAlertFile)
        m_services.playAlertFile(options.alertFile);
}

std::optional<std::string> TriggerActions::onCaptureStatus(int status, const std::string& reason,
                                                           const TriggerOptions& options) {
    if (status == kCaptureBegins) {
        m_state.recordingActive = true;
        return std::nullopt;
    }
    if (status != kCaptureEnds)
        return std::nullopt;
    const bool requested = std::exchange(m_clipRequested, false);
    std::optional<std::string> missingClip;
    std::error_code error;
    if (!m_lastVideoPath.empty() && !std::filesystem::exists(m_lastVideoPath, error))
        missingClip = m_lastVideoPath;
    if (!requested && !m_state.recordingActive)
        return missingClip;
    // A clip that failed was removed; there is nothing to hand over.
    if (m_state.recordingActive && options.launchVideoTool && reason.empty())
        m_services.launchProgram(options.videoTool, m_lastVideoPath);
    // A clip that could not start waits as a finished one does: a full disk must not turn a
    // lasting change into an alarm on every picture.
    m_state.holdOffFrames = holdOffRunsForWait(options.waitSeconds);
    m_state.recordingActive = false;
    return missingClip;
}
