#include "detection/triggeractions.h"

#include <charconv>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <utility>

#include "detection/clipfiles.h"
#include "detection/datetemplate.h"
#include "settings/gadgetaccess.h"

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

bool removeClipRow(GadgetAccess& gadgets, const std::string& path) {
    const QString wanted = QString::fromStdString(path);
    for (int row = gadgets.countItems(Gadget::videoList) - 1; row >= 0; --row) {
        if (gadgets.itemText(Gadget::videoList, row).section(u'\n', 0, 0) == wanted) {
            gadgets.removeItem(Gadget::videoList, row);
            return true;
        }
    }
    return false;
}

TriggerActions::TriggerActions(GadgetAccess& gadgets, DetectionState& state, std::string clipFolder,
                               std::string clipStem, TriggerServices services)
    : m_gadgets(gadgets),
      m_state(state),
      m_clipFolder(std::move(clipFolder)),
      m_clipStem(std::move(clipStem)),
      m_services(std::move(services)) {}

TriggerOutcome TriggerActions::runTriggerActions() {
    soundAlarm();
    if (!m_gadgets.state(Gadget::recordModeCheck)) {
        m_state.holdOffFrames = 1;
        m_services.pauseDetection(kPauseOutsideRecordingMs);
        return {};
    }
    m_state.holdOffFrames = 1;
    if (m_gadgets.state(Gadget::countOnlyCheck)) {
        const std::string count = countedOnce(m_gadgets.text(Gadget::counterField).toStdString());
        m_gadgets.setText(Gadget::counterField, QString::fromStdString(count));
        m_state.holdOffFrames = holdOffRunsForWait(m_gadgets.state(Gadget::waitSpin));
        return {TriggerOutcome::Kind::Counted, count};
    }
    if (m_clipRequested)
        return {TriggerOutcome::Kind::ClipUnderWay, m_lastVideoPath};
    startRecording();
    return {TriggerOutcome::Kind::ClipStarted, m_lastVideoPath};
}

void TriggerActions::startRecording() {
    const DateFields now = localNow();
    const std::string path = newClipPath(m_clipFolder, m_clipStem, now);
    const std::string dateText = formatDateTemplate(kDateTimeTemplate, now);
    m_gadgets.appendRow(Gadget::videoList, QString::fromStdString(path + '\n' + dateText));
    m_lastTriggerText = dateText;
    m_lastVideoPath = path;
    m_clipRequested = true;
    m_services.recordClip({path,
                           m_gadgets.state(Gadget::clipLengthSpin) + kClipExtraSeconds,
                           m_gadgets.state(Gadget::audioInfoCheck) != 0,
                           {}});
}

void TriggerActions::removeRowOfMissingClip() {
    std::error_code error;
    if (m_lastVideoPath.empty() || std::filesystem::exists(m_lastVideoPath, error))
        return;
    removeClipRow(m_gadgets, m_lastVideoPath);
}

void TriggerActions::soundAlarm() {
    if (m_gadgets.state(Gadget::beepCheck))
        m_services.beep();
    if (m_gadgets.state(Gadget::soundCheck))
        m_services.playAlertFile(m_gadgets.storedText(Gadget::soundFileField));
}

void TriggerActions::onCaptureStatus(int status, const QString& text) {
    if (status == kCaptureBegins) {
        m_state.recordingActive = true;
        return;
    }
    if (status != kCaptureEnds)
        return;
    const bool requested = std::exchange(m_clipRequested, false);
    removeRowOfMissingClip();
    if (!requested && !m_state.recordingActive)
        return;
    // A clip that failed was removed; there is nothing to hand over.
    if (m_state.recordingActive && m_gadgets.state(Gadget::videoToolCheck) && text.isEmpty()) {
        m_services.launchProgram(m_gadgets.storedText(Gadget::videoToolField), m_lastVideoPath);
    }
    // A clip that could not start waits as a finished one does: a full disk must not turn a
    // lasting change into an alarm on every picture.
    m_state.holdOffFrames = holdOffRunsForWait(m_gadgets.state(Gadget::waitSpin));
    m_state.recordingActive = false;
}
