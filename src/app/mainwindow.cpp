#include "app/mainwindow.h"

#include <QAbstractButton>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QThreadPool>

#include "app/alertbeep.h"
#include "app/eventlogwindow.h"
#include "app/fonts.h"
#include "app/gadgetsettings.h"
#include "app/gadgettable.h"
#include "app/statusdisplay.h"
#include "app/version.h"
#include "app/wallclockminutes.h"
#include "app/windowplacement.h"
#include "detection/frameprocessor.h"
#include "detection/triggeractions.h"
#include "media/alertplayback.h"
#include "media/camera.h"
#include "outputs/desktopnotification.h"
#include "outputs/eventlog.h"
#include "outputs/launching.h"
#include "outputs/picturefolder.h"
#include "outputs/pictureupload.h"
#include "outputs/remotealarm.h"
#include "settings/camerachoices.h"
#include "settings/settingswriter.h"

MainWindow::MainWindow(DetectionState& state, MainLoopClock clock)
    : QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      m_state(state),
      m_frameTimer(state, [this](bool compares) { return runDetection(compares); }),
      m_clock(std::move(clock)),
      m_watchEvents([this] { return m_clock.localNow(); }) {
    setWindowTitle(QStringLiteral("Sentello ") + QString::fromUtf8(versionText));
    setFixedSize(800, 480);
    centreOnScreen(*this);
}

MainWindow::~MainWindow() {
    SettingsWriter::instance().setFailureReport({});
}

void MainWindow::createGadgets(Camera& camera, const std::string& settingsFile,
                               const std::string& clipFolder, const std::string& clipStem) {
    m_camera = &camera;
    m_settingsFile = settingsFile;
    m_clipFolder = clipFolder;
    m_clipStem = clipStem;
    registerTahoma();
    const WindowFonts fonts =
        windowFonts(static_cast<int>(QGuiApplication::primaryScreen()->logicalDotsPerInchX()));
    setFont(fonts.gadgets);
    m_gadgets = std::make_unique<GadgetTable>(this);
    m_gadgets->widget(Gadget::recordModeCheck)->setFont(fonts.recordMode);
    showSliderValues(*m_gadgets);

    m_statusDisplay = std::make_unique<StatusDisplay>(
        this, StatusGadgets{m_gadgets->as<QProgressBar>(Gadget::levelBar),
                            m_gadgets->as<QFrame>(Gadget::upperMarker),
                            m_gadgets->as<QFrame>(Gadget::lowerMarker),
                            m_gadgets->as<QLabel>(Gadget::triggerIndicator)});
    m_frameProcessor = std::make_unique<FrameProcessor>(camera, m_state, m_clock.ticksMs);
    // The room may have changed while the camera was away: a new background, not an alarm.
    connect(&camera, &Camera::deliveryResumed, this,
            [this] { m_frameProcessor->restartBackground(); });
    connect(&camera, &Camera::clipPartWritten, this,
            [this](const QString& clipPath, const QString& partPath, int index) {
                copyClipPart(clipPath.toStdString(), index, partPath.toStdString());
            });
    createTriggerActions();
    m_pictureFolder = std::make_unique<PictureFolder>();
    m_desktopNotifier = std::make_unique<DesktopNotifier>();
    // Told on the log's own thread; its window is read again on the window's.
    m_eventLog = std::make_unique<EventLog>(eventLogPath(m_settingsFile), [this] {
        QMetaObject::invokeMethod(this, &MainWindow::onEventWritten, Qt::QueuedConnection);
    });
    // Said from the settings writer's thread, or from this one.
    SettingsWriter::instance().setFailureReport(
        [this](const std::string&, const std::string& reason) {
            m_watchEvents.report({.kind = WatchEvent::Kind::SettingsNotSaved, .reason = reason});
        });
    // Told on the upload's own thread; shown on the window's.
    m_pictureUploader = std::make_unique<PictureUploader>([this](const UploadEnd& end) {
        QMetaObject::invokeMethod(
            this, [this, end] { reportUpload(end); }, Qt::QueuedConnection);
    });
    connectGadgetEvents();
    connectVideoList();
    connectLiveView();
    connectCameraDialogs();
    connectWatchEvents();
    connectFrameTimer();
}

void MainWindow::createTriggerActions() {
    m_alertBeep = std::make_unique<AlertBeep>();
    m_alertPlayback = std::make_unique<AlertPlayback>();
    TriggerServices services{
        .beep = [this] { m_alertBeep->beep(); },
        .playAlertFile = [this](const std::string& path) { m_alertPlayback->playAlertFile(path); },
        .launchProgram = [](const std::string& program,
                            const std::string& argument) { launchProgram(program, argument, {}); },
        .pauseDetection = [this](int milliseconds) { m_frameTimer.rest(milliseconds); },
    };
    m_triggerActions =
        std::make_unique<TriggerActions>(m_state, m_clipFolder, m_clipStem, std::move(services));
    m_captureStatusConnection =
        connect(m_camera, &Camera::captureStatus, this, &MainWindow::onCaptureStatus);
    // The part before is finished; the list shows both.
    connect(m_camera, &Camera::clipContinued, this, [this](const QString& path) {
        m_watchEvents.report({.kind = WatchEvent::Kind::ClipFinished,
                              .clipPath = m_triggerActions->lastVideoPath()});
        m_gadgets->appendRow(
            Gadget::videoList,
            QString::fromStdString(m_triggerActions->clipContinued(path.toStdString())));
    });
}

TriggerOptions MainWindow::triggerOptions() const {
    const GadgetTable& g = *m_gadgets;
    return {
        .beep = g.state(Gadget::beepCheck) != 0,
        .playAlertFile = g.state(Gadget::soundCheck) != 0,
        .alertFile = g.storedText(Gadget::soundFileField),
        .recordMode = g.state(Gadget::recordModeCheck) != 0,
        .countOnly = g.state(Gadget::countOnlyCheck) != 0,
        .counter = g.text(Gadget::counterField).toStdString(),
        .waitSeconds = g.state(Gadget::waitSpin),
        .clipLengthSeconds = g.state(Gadget::clipLengthSpin),
        .clipWithSound = g.state(Gadget::audioInfoCheck) != 0,
        .launchVideoTool = g.state(Gadget::videoToolCheck) != 0,
        .videoTool = g.storedText(Gadget::videoToolField),
    };
}

void MainWindow::runTriggerActions() {
    const TriggerOutcome outcome = m_triggerActions->runTriggerActions(triggerOptions());
    if (outcome.kind == TriggerOutcome::Kind::Counted)
        m_gadgets->setText(Gadget::counterField, QString::fromStdString(outcome.detail));
    if (!outcome.clipRow.empty())
        m_gadgets->appendRow(Gadget::videoList, QString::fromStdString(outcome.clipRow));
    if (outcome.clip) {
        ClipRequest request = *outcome.clip;
        request.compression = m_clipCompression;
        keepStorageLimit();
        m_camera->startRecording(request);
    }
    reportTrigger(outcome);
}

void MainWindow::onCaptureStatus(int status, const QString& text) {
    countPassedTicks();
    const bool held = runsHeld();
    if (const std::optional<std::string> missing =
            m_triggerActions->onCaptureStatus(status, text.toStdString(), triggerOptions())) {
        removeClipRow(*missing);
    }
    m_statusDisplay->showRecording(m_state.recordingActive);
    // The picture shown during the clip is compared at the next tick, as the next picture is
    // compared with it.
    if (held && !runsHeld()) {
        m_frameTimer.holdEnded(m_clock.ticksMs());
        scheduleOwedRun();
    }
}

void MainWindow::connectGadgetEvents() {
    connectDetectionControls();
    GadgetTable& g = *m_gadgets;
    auto* scroll = g.as<QScrollArea>(Gadget::settingsScroll);
    for (QScrollBar* bar : {scroll->horizontalScrollBar(), scroll->verticalScrollBar()}) {
        connect(bar, &QScrollBar::valueChanged, this, [this] { holdOff(1); });
    }
    connect(g.as<QAbstractButton>(Gadget::uploadCheck), &QAbstractButton::clicked, this,
            &MainWindow::onUploadSwitched);
    connect(g.as<QAbstractButton>(Gadget::recordModeCheck), &QAbstractButton::clicked, this,
            &MainWindow::holdOffForWait);
    for (const Gadget clipChoice :
         {Gadget::recordModeCheck, Gadget::countOnlyCheck, Gadget::audioInfoCheck}) {
        connect(g.as<QAbstractButton>(clipChoice), &QAbstractButton::toggled, this,
                &MainWindow::updatePreRecording);
    }
    connect(g.as<QAbstractButton>(Gadget::aboutButton), &QAbstractButton::clicked, this,
            &MainWindow::onAboutClicked);
    connectFileRequesters();
}

void MainWindow::loadSettings() {
    withQuietSliders([this] { loadGeneralSettings(*m_gadgets, m_settingsFile); });
    const CameraChoices choices = loadCameraChoices(m_settingsFile);
    m_clipCompression = {choices.codec == "mpeg4" ? ClipCodec::Mpeg4 : ClipCodec::MotionJpeg,
                         choices.quality};
    m_advancedOptions = loadAdvancedOptions(m_settingsFile);
    applyAdvancedOptions();
    selectSlotByClock(false);
    startRemoteAlarm();
}

void MainWindow::saveSettings() {
    saveGeneralSettings(*m_gadgets, m_settingsFile);
    // The last save is the one at the end: a failure of it is heard before the end is.
    m_watchEvents.deliverWaiting();
}

void MainWindow::holdOffForWait() {
    holdOff(holdOffRunsForWait(m_gadgets->state(Gadget::waitSpin)));
}

void MainWindow::showEvent(QShowEvent* event) {
    // Focus marks from the start, not only after the first Tab; showing clears the flag.
    setAttribute(Qt::WA_KeyboardFocusChange);
    QWidget::showEvent(event);
}
