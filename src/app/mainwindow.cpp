#include "app/mainwindow.h"

#include <QAbstractButton>
#include <QCursor>
#include <QFileDialog>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSlider>
#include <QTabBar>
#include <QTimerEvent>
#include <QTreeWidget>

#include <filesystem>

#include "app/cliplist.h"
#include "app/fonts.h"
#include "app/gadgettable.h"
#include "app/timeslots.h"
#include "app/version.h"
#include "capture/camera.h"
#include "capture/cameradialogs.h"
#include "capture/datetemplate.h"
#include "capture/frameprocessor.h"
#include "capture/snapshot.h"
#include "capture/statusdisplay.h"
#include "capture/triggeractions.h"
#include "capture/windowplacement.h"
#include "outputs/aboutwindow.h"
#include "outputs/alertbeep.h"
#include "outputs/alertplayback.h"
#include "outputs/launching.h"
#include "outputs/ownplayer.h"
#include "outputs/picturefolder.h"
#include "outputs/pictureupload.h"
#include "outputs/sidewindow.h"
#include "outputs/videolistmenu.h"
#include "settings/camerachoices.h"
#include "settings/settingskeys.h"

namespace {

constexpr std::int64_t kMinuteMs = 60000;

const QString kUploadWarning = QStringLiteral(
    "Hiermit wird pro Minute ein aktuelles Bild ins Internet hochladen. Das geschieht per FTP "
    "(File Transfer Protocol), einem unverschlüsselten Datenformat. Fremdzugriffe von Hackern "
    "auf die Bilddaten können somit nicht ausgeschlossen werden. Darum stellen sie sicher, dass "
    "die Bildinformationen nur legale, copyrightfreie und gesittete Motive zeigen.\r\n"
    "Soll das minütliche Hochladen aktiviert bleiben?");

const QString kLineBreakInName = QStringLiteral(
    "Der Name dieser Datei enthält einen Zeilenumbruch und kann darum nicht übernommen werden. "
    "Bitte die Datei umbenennen oder eine andere wählen.");

}  // namespace

MainWindow::MainWindow(DetectionState& state, MainLoopClock clock)
    : QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      m_state(state),
      m_clock(std::move(clock)) {
    setWindowTitle(QStringLiteral("Sentello ") + QString::fromUtf8(versionText));
    setFixedSize(800, 480);
    centreOnScreen(*this);
}

MainWindow::~MainWindow() = default;

void MainWindow::createGadgets(Camera& camera, const std::string& settingsFile,
                               const std::string& clipFolder) {
    m_camera = &camera;
    m_settingsFile = settingsFile;
    m_clipFolder = clipFolder;
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
    m_frameProcessor = std::make_unique<FrameProcessor>(camera, *m_statusDisplay, m_state);
    createTriggerActions();
    m_pictureFolder = std::make_unique<PictureFolder>();
    m_pictureUploader = std::make_unique<PictureUploader>();
    connectGadgetEvents();
    connectVideoList();
    connectCameraDialogs();
}

void MainWindow::createTriggerActions() {
    m_alertBeep = std::make_unique<AlertBeep>();
    m_alertPlayback = std::make_unique<AlertPlayback>();
    TriggerServices services{
        .beep = [this] { m_alertBeep->beep(); },
        .playAlertFile = [this](const std::string& path) { m_alertPlayback->playAlertFile(path); },
        .recordClip =
            [this](ClipRequest request) {
                request.compression = m_clipCompression;
                m_camera->startRecording(request);
            },
        .launchProgram = [](const std::string& program,
                            const std::string& argument) { launchProgram(program, argument, {}); },
        .pauseDetection =
            [this](int milliseconds) { m_detectionPause.setRemainingTime(milliseconds); },
    };
    m_triggerActions =
        std::make_unique<TriggerActions>(*m_gadgets, m_state, m_clipFolder, std::move(services));
    m_captureStatusConnection =
        connect(m_camera, &Camera::captureStatus, this, [this](int status, const QString& text) {
            m_triggerActions->onCaptureStatus(status, text);
        });
}

void MainWindow::connectVideoList() {
    auto* list = m_gadgets->as<QTreeWidget>(Gadget::videoList);
    connect(list, &QTreeWidget::itemDoubleClicked, this, [this] {
        if (m_gadgets->state(Gadget::videoList) >= 0)
            playSelectedVideo();
    });
    // A right click or the menu key.
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list, &QTreeWidget::customContextMenuRequested, this, &MainWindow::showVideoListMenu);
}

void MainWindow::showVideoListMenu() {
    if (m_gadgets->state(Gadget::videoList) < 0)
        return;
    m_videoListMenu = makeVideoListMenu(this, [this](int item) { onVideoListMenu(item); });
    m_videoListMenu->popup(QCursor::pos() - QPoint(1, 1));
    holdOff(1);
}

void MainWindow::onVideoListMenu(int item) {
    switch (item) {
        case kPlayVideo:
            playSelectedVideo();
            holdOff(1);
            break;
        case kDeleteVideo:
            deleteSelectedVideo();
            break;
        case kOpenVideoFolder:
            openWithDesktop(folderPart(m_gadgets->text(Gadget::videoList).toStdString()));
            holdOff(1);
            break;
    }
}

// No question; the row goes even when the file cannot.
void MainWindow::deleteSelectedVideo() {
    const int row = m_gadgets->state(Gadget::videoList);
    if (row < 0)
        return;
    std::error_code ignored;
    std::filesystem::remove(m_gadgets->text(Gadget::videoList).toStdString(), ignored);
    m_gadgets->removeItem(Gadget::videoList, row);
}

void MainWindow::onAboutClicked() {
    setEnabled(false);
    withFrameTimerStopped([this] { showAboutWindow(this); });
    setEnabled(true);
    holdOff(1);
}

void MainWindow::withFrameTimerStopped(const std::function<void()>& run) {
    m_frameTimer.stop();
    run();
    m_frameTimer.start(kFrameIntervalMs, Qt::PreciseTimer, this);
}

void MainWindow::connectCameraDialogs() {
    GadgetTable& g = *m_gadgets;
    connect(g.as<QAbstractButton>(Gadget::formatButton), &QAbstractButton::clicked, this,
            &MainWindow::onFormatClicked);
    connect(g.as<QAbstractButton>(Gadget::sourceButton), &QAbstractButton::clicked, this,
            &MainWindow::onSourceClicked);
    // No display settings apply to a picture that the program draws itself.
    connect(g.as<QAbstractButton>(Gadget::displayButton), &QAbstractButton::clicked, this,
            [this] { holdOff(1); });
    connect(g.as<QAbstractButton>(Gadget::compressionButton), &QAbstractButton::clicked, this,
            &MainWindow::onCompressionClicked);
}

void MainWindow::withCameraDialogOpen(const std::function<void()>& run) {
    m_cameraDialogOpen = true;
    run();
    m_cameraDialogOpen = false;
    holdOff(1);
}

void MainWindow::onFormatClicked() {
    withCameraDialogOpen([this] { chooseFormat(); });
}

void MainWindow::chooseFormat() {
    const std::optional<CameraFormat> chosen =
        chooseCameraFormat(this, m_camera->offeredFormats(), m_camera->currentFormat());
    if (chosen && chosen != m_camera->format()) {
        if (m_camera->changeFormat(*chosen)) {
            CameraChoices choices = loadCameraChoices(m_settingsFile);
            choices.formatCamera = m_camera->sourceName();
            choices.width = chosen->width;
            choices.height = chosen->height;
            choices.rateNumerator = chosen->rateNumerator;
            choices.rateDenominator = chosen->rateDenominator;
            saveFormatChoice(m_settingsFile, choices);
        } else {
            QMessageBox box(QMessageBox::Information, QStringLiteral("Videoformat"),
                            QStringLiteral("Die Kamera liefert dieses Format nicht."),
                            QMessageBox::Ok, this);
            box.exec();
        }
    }
}

void MainWindow::onSourceClicked() {
    withCameraDialogOpen([this] {
        if (const std::unique_ptr<CameraControls> controls = m_camera->controls())
            adjustCameraControls(this, *controls);
    });
}

void MainWindow::onCompressionClicked() {
    withCameraDialogOpen([this] {
        const std::optional<ClipCompression> chosen =
            chooseClipCompression(this, m_clipCompression);
        if (!chosen)
            return;
        m_clipCompression = *chosen;
        CameraChoices choices = loadCameraChoices(m_settingsFile);
        choices.codec = chosen->codec == ClipCodec::Mpeg4 ? "mpeg4" : "mjpeg";
        choices.quality = chosen->quality;
        saveCompressionChoice(m_settingsFile, choices);
    });
}

void MainWindow::fillVideoList() {
    for (const ListedClip& clip : findClips(m_clipFolder)) {
        m_gadgets->appendRow(Gadget::videoList,
                             QString::fromStdString(clip.path + '\n' + clip.createdText));
    }
}

void MainWindow::connectGadgetEvents() {
    GadgetTable& g = *m_gadgets;
    connect(g.as<QTabBar>(Gadget::slotTabs), &QTabBar::currentChanged, this, [this] {
        holdOff(1);
        withQuietSliders([this] { loadSlotValues(*m_gadgets, m_settingsFile); });
    });
    connect(g.as<QAbstractButton>(Gadget::resetButton), &QAbstractButton::clicked, this,
            &MainWindow::onResetClicked);
    connect(g.as<QAbstractButton>(Gadget::takeTimeButton), &QAbstractButton::clicked, this,
            &MainWindow::takeTime);
    for (Gadget slider :
         {Gadget::brightnessSlider, Gadget::sensitivitySlider, Gadget::triggerSlider}) {
        connect(g.as<QSlider>(slider), &QSlider::valueChanged, this,
                &MainWindow::onDetectionSliderMoved);
    }
    connect(g.as<QAbstractButton>(Gadget::mirrorCheck), &QAbstractButton::clicked, this,
            [this] { holdOff(1); });
    auto* scroll = g.as<QScrollArea>(Gadget::settingsScroll);
    for (QScrollBar* bar : {scroll->horizontalScrollBar(), scroll->verticalScrollBar()}) {
        connect(bar, &QScrollBar::valueChanged, this, [this] { holdOff(1); });
    }
    connect(g.as<QAbstractButton>(Gadget::uploadCheck), &QAbstractButton::clicked, this,
            &MainWindow::onUploadSwitched);
    connect(g.as<QAbstractButton>(Gadget::recordModeCheck), &QAbstractButton::clicked, this,
            &MainWindow::holdOffForWait);
    connect(g.as<QAbstractButton>(Gadget::aboutButton), &QAbstractButton::clicked, this,
            &MainWindow::onAboutClicked);

    // Programs on Linux have no extension, so the program requesters list every file.
    const QString programs = QStringLiteral("Programmdateien (*)");
    connect(g.as<QAbstractButton>(Gadget::pictureToolButton), &QAbstractButton::clicked, this,
            [=, this] {
                askForFile(Gadget::pictureToolField, QStringLiteral("Bild-Tool auswählen:"),
                           programs);
            });
    connect(
        g.as<QAbstractButton>(Gadget::videoToolButton), &QAbstractButton::clicked, this, [=, this] {
            askForFile(Gadget::videoToolField, QStringLiteral("Video-Tool auswählen:"), programs);
        });
    connect(
        g.as<QAbstractButton>(Gadget::soundFileButton), &QAbstractButton::clicked, this, [this] {
            askForFile(
                Gadget::soundFileField, QStringLiteral("Media-Datei auswählen:"),
                QStringLiteral("Media (*.wav *.mp3 *.ogg *.flac *.mod *.xm *.divx *.mpg *.avi)"));
        });
}

DetectionValues MainWindow::detectionValues() const {
    return {m_gadgets->state(Gadget::brightnessSlider), m_gadgets->state(Gadget::sensitivitySlider),
            m_gadgets->state(Gadget::triggerSlider), m_gadgets->state(Gadget::mirrorCheck) != 0};
}

void MainWindow::onDetectionSliderMoved() {
    holdOff(1);
    showSliderValues(*m_gadgets);
    saveSlotValues(*m_gadgets, m_settingsFile);
}

void MainWindow::onResetClicked() {
    QMessageBox question(QMessageBox::NoIcon, QStringLiteral("Frage"),
                         QStringLiteral("Sollen jetzt alle vier Uhrzeiten mit den dazu\r\n"
                                        "gehörigen Schieberwerten zurück gesetzt werden?"),
                         QMessageBox::Yes | QMessageBox::No, this);
    if (question.exec() != QMessageBox::Yes)
        return;
    holdOff(1);
    withQuietSliders([this] { resetAllSlots(*m_gadgets, m_settingsFile); });
}

template <typename Change>
void MainWindow::withQuietSliders(Change change) {
    const QSignalBlocker brightness(m_gadgets->widget(Gadget::brightnessSlider));
    const QSignalBlocker sensitivity(m_gadgets->widget(Gadget::sensitivitySlider));
    const QSignalBlocker trigger(m_gadgets->widget(Gadget::triggerSlider));
    change();
}

SlotTimes MainWindow::slotTimes() const {
    SlotTimes times{};
    for (int slot = 0; slot < kSlotCount; ++slot) {
        times[slot] = hhmmValue(m_gadgets->itemText(Gadget::slotTabs, slot).toStdString());
    }
    return times;
}

void MainWindow::takeTime() {
    const int slot = m_gadgets->state(Gadget::slotTabs);
    const TakenTime taken = takeTimeIntoSlot(
        hhmmValue(m_gadgets->text(Gadget::timePicker).toStdString()), slot, slotTimes());
    auto tell = [this](const char* text) {
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Information"), QString::fromUtf8(text),
                        QMessageBox::Ok, this);
        box.exec();
    };
    if (taken.collidedLeft)
        tell("Die Uhrzeit kollidiert mit der links daneben und wird korrigiert.");
    if (taken.collidedRight) {
        tell("Die Uhrzeit kollidiert mit der rechts daneben und wird korrigiert.");
    }
    m_gadgets->setItemText(Gadget::slotTabs, slot, QString::fromStdString(hhmmText(taken.value)));
}

void MainWindow::selectSlotByClock(bool fromClockCheck) {
    const int now = hhmmValue(formatDateTemplate("%hh%ii", m_clock.localNow()));
    const std::optional<int> slot = slotForClock(now, slotTimes());
    if (slot) {
        const QSignalBlocker quietTabs(m_gadgets->widget(Gadget::slotTabs));
        m_gadgets->setState(Gadget::slotTabs, *slot);
    } else if (fromClockCheck) {
        return;
    }
    // At start-up the slot selected at creation is loaded when the clock selects none.
    if (fromClockCheck)
        holdOff(1);
    withQuietSliders([this] { loadSlotValues(*m_gadgets, m_settingsFile); });
}

void MainWindow::playSelectedVideo() {
    const QString path = m_gadgets->text(Gadget::videoList);
    if (path.isEmpty())
        return;
    // A clip is opened, never run, even when it is an executable file.
    if (!m_gadgets->state(Gadget::ownPlayerCheck)) {
        openWithDesktop(path.toStdString());
        return;
    }
    withFrameTimerStopped([&] { playInOwnPlayer(m_alertPlayback->movies(), path); });
}

void MainWindow::loadSettings() {
    withQuietSliders([this] { loadGeneralSettings(*m_gadgets, m_settingsFile); });
    const CameraChoices choices = loadCameraChoices(m_settingsFile);
    m_clipCompression = {choices.codec == "mpeg4" ? ClipCodec::Mpeg4 : ClipCodec::MotionJpeg,
                         choices.quality};
    selectSlotByClock(false);
}

void MainWindow::saveSettings() {
    saveGeneralSettings(*m_gadgets, m_settingsFile);
}

void MainWindow::stopWatching() {
    m_frameTimer.stop();
    disconnect(m_captureStatusConnection);
}

void MainWindow::onUploadSwitched() {
    if (m_gadgets->state(Gadget::uploadCheck) != 0) {
        QMessageBox question(QMessageBox::NoIcon, QStringLiteral("Information"), kUploadWarning,
                             QMessageBox::Yes | QMessageBox::No, this);
        if (question.exec() == QMessageBox::No)
            m_gadgets->setState(Gadget::uploadCheck, 0);
    }
    holdOff(1);
}

void MainWindow::askForFile(Gadget field, const QString& title, const QString& filter) {
    const QString chosen = QFileDialog::getOpenFileName(this, title, QString(), filter, nullptr,
                                                        QFileDialog::DontUseNativeDialog);
    if (chosen.contains(u'\r') || chosen.contains(u'\n')) {
        // It could not be kept: the settings hold one line a value.
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Information"), kLineBreakInName,
                        QMessageBox::Ok, this);
        box.exec();
    } else if (!chosen.isEmpty()) {
        // The name chosen, in place of any stored bytes that showed as the same text.
        m_gadgets->setStoredText(field, chosen.toStdString());
    }
    holdOff(1);
}

void MainWindow::holdOffForWait() {
    holdOff(holdOffRunsForWait(m_gadgets->state(Gadget::waitSpin)));
}

void MainWindow::startFrameTimer() {
    m_minuteMark = m_clock.ticksMs();
    m_frameTimer.start(kFrameIntervalMs, Qt::PreciseTimer, this);
}

void MainWindow::showEvent(QShowEvent* event) {
    // Focus marks from the start, not only after the first Tab; showing clears the flag.
    setAttribute(Qt::WA_KeyboardFocusChange);
    QWidget::showEvent(event);
}

void MainWindow::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_frameTimer.timerId()) {
        QWidget::timerEvent(event);
        return;
    }
    // While a clip is written, a camera dialog is open or the detection rests after a trigger,
    // the live picture goes on but no frame is compared.
    const DetectionValues values = detectionValues();
    if (m_state.recordingActive || m_cameraDialogOpen || !m_detectionPause.hasExpired()) {
        m_frameProcessor->showFrame(values);
    } else if (m_frameProcessor->processFrame(values)) {
        m_triggerActions->runTriggerActions();
    }
    m_statusDisplay->showRecording(m_state.recordingActive);
    // A dialog holds the minute and the clock too, as any modal window does.
    if (m_cameraDialogOpen)
        return;
    minuteStep();
    clockCheck();
}

void MainWindow::minuteStep() {
    const std::int64_t now = m_clock.ticksMs();
    if (now - m_minuteMark <= kMinuteMs)
        return;
    m_minuteMark = now;
    if (!m_gadgets->state(Gadget::recordModeCheck))
        return;
    const GadgetTable& g = *m_gadgets;
    const auto text = [&g](Gadget gadget) { return g.storedText(gadget); };
    const PictureUploadOptions options{
        g.state(Gadget::uploadCheck) != 0,
        {text(Gadget::serverField), text(Gadget::userField), text(Gadget::passwordField),
         text(Gadget::pictureNameField)},
        g.state(Gadget::pictureToolCheck) != 0,
        text(Gadget::pictureToolField)};
    uploadPicture(
        options, *m_pictureUploader, m_pictureFolder->picturePath(),
        [this] {
            return takeSnapshot(*m_camera, snapshotCaption(versionText, m_clock.localNow(),
                                                           m_triggerActions->lastTriggerText()));
        },
        [](const std::string& program, const std::string& argument) {
            launchProgram(program, argument, {});
        });
    holdOff(1);
}

void MainWindow::clockCheck() {
    const std::string clockText = formatDateTemplate("%hh:%ii", m_clock.localNow());
    if (clockText == m_lastClockText)
        return;
    m_lastClockText = clockText;
    m_gadgets->setText(Gadget::clockLabel,
                       QStringLiteral("Aktuelle Systemzeit: ") + QString::fromStdString(clockText));
    // A slot chosen by hand lasts until the minute changes.
    selectSlotByClock(true);
}
