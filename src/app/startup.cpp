#include "app/startup.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <string>
#include <vector>

#include "app/connectionwindow.h"
#include "app/driverchoicedialog.h"
#include "app/mainwindow.h"
#include "app/quitsignals.h"
#include "app/translations.h"
#include "app/version.h"
#include "detection/datetemplate.h"
#include "detection/frameprocessor.h"
#include "media/camera.h"
#include "media/camerasources.h"
#include "outputs/eventlog.h"
#include "settings/camerachoices.h"
#include "settings/instancelock.h"
#include "settings/runmarker.h"
#include "settings/settingsfolder.h"
#include "settings/watchstate.h"

namespace {

constexpr int kConnectAttempts = 10;
constexpr int kStartupFailed = 1;

// Every start-up error closes the (hidden) main window first, then says why: in a box, and on
// the error output and in the event log with the `cause` where one is known.
int abortStartup(MainWindow& window, const std::string& settingsFile, const char* text,
                 const std::string& cause = {}) {
    window.close();
    std::fprintf(stderr, "sentello: Abbruch: %s\n", text);
    if (!cause.empty())
        std::fprintf(stderr, "sentello: %s\n", cause.c_str());
    // Written before the box waits for its answer, and straight into the log: the window's
    // subscribers to the watch's events come only with its gadgets.
    EventLog(eventLogPath(settingsFile))
        .write(localNow(),
               eventLogFields(
                   {.kind = WatchEvent::Kind::StartAborted, .reason = text, .detail = cause}));
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Abbruch:"), QString::fromUtf8(text),
                    QMessageBox::Ok);
    box.exec();
    return kStartupFailed;
}

// A source given on the command line that names nothing to play ends the program as any
// argument that cannot be followed does, before a window is shown.
int refuseGivenSource(MainWindow& window, const std::string& error) {
    window.close();
    std::fprintf(stderr, "sentello: --camera: %s\n%s", error.c_str(), kUsage);
    return kCommandLineError;
}

// The camera's bus watches and the clips' ends are GLib sources: they are seen only where Qt
// runs GLib's main loop, which it does unless told otherwise (QT_NO_GLIB).
bool runsGlibMainLoop() {
    const QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    return dispatcher && dispatcher->inherits("QEventDispatcherGlib");
}

enum class Connection { Made, Failed, Cancelled };

// The format chosen earlier for this camera is tried first; a camera that no longer delivers
// it gets the remaining attempts with its own choice. Meanwhile a window says which camera is
// being connected and lets the user give up; it goes when the attempts are over.
Connection connectCamera(Camera& camera, const CameraSource& source,
                         const std::string& settingsFile, QWidget* owner) {
    const CameraChoices choices = loadCameraChoices(settingsFile);
    if (!choices.formatCamera.empty() && choices.formatCamera == source.name) {
        camera.presetFormat(CameraFormat{choices.width, choices.height, choices.rateNumerator,
                                         choices.rateDenominator});
    }
    ConnectionWindow window(owner, QString::fromStdString(source.name));
    QObject::connect(&window, &QDialog::rejected, &camera, &Camera::cancelConnecting);
    for (int attempt = 1; attempt <= kConnectAttempts; ++attempt) {
        window.showAttempt(attempt, kConnectAttempts);
        // The window's button is the only input there is: the main window is still hidden.
        if (camera.connectSource(source, QEventLoop::AllEvents))
            return Connection::Made;
        if (window.cancelled())
            return Connection::Cancelled;
        camera.presetFormat(std::nullopt);
    }
    return Connection::Failed;
}

// The source the last watch used, for "--watch"; none, after saying why, when these settings
// hold none that can be played: the camera list is shown then, as without the option.
std::optional<CameraSource> watchedSource(const WatchState& watchState) {
    if (watchState.camera.empty()) {
        std::fprintf(stderr,
                     "sentello: --watch: no camera watched before with these settings; "
                     "choose one in the list\n");
        return std::nullopt;
    }
    std::string error;
    std::optional<CameraSource> source = storedSource(watchState.camera, error);
    if (!source) {
        std::fprintf(stderr,
                     "sentello: --watch: the camera watched before cannot be used (%s); "
                     "choose one in the list\n",
                     error.c_str());
    }
    return source;
}

// A watch comes up without anything to click: one attempt, and a camera that is not there
// (yet) is tried again every few seconds while the window says that no pictures come.
// Returns whether the camera delivers now.
bool connectWatchedCamera(Camera& camera, const CameraSource& source,
                          const std::string& settingsFile) {
    const CameraChoices choices = loadCameraChoices(settingsFile);
    if (!choices.formatCamera.empty() && choices.formatCamera == source.name) {
        camera.presetFormat(CameraFormat{choices.width, choices.height, choices.rateNumerator,
                                         choices.rateDenominator});
    }
    if (camera.connectSource(source))
        return true;
    std::fprintf(stderr, "sentello: --watch: %s does not answer yet; trying again\n",
                 source.name.c_str());
    camera.awaitSource(source);
    return false;
}

// Why the watch was away, as the log and the remote alarm say it; empty when it was not away
// against its will.
std::string resumptionReason(const LastRun& lastRun) {
    if (lastRun.machineRestarted)
        return "nach Neustart";
    if (lastRun.endedAbnormally)
        return "nach Absturz";
    return {};
}

}  // namespace

int runSentello(const CommandLine& commandLine) {
    installGermanTranslations();
    DetectionState state;
    const std::string settingsFolder =
        prepareSettingsFolder(homeFolder(), runningProgramFolder(), commandLine.profile);
    const std::string settingsFile = settingsFilePath(settingsFolder);
    // Held until the window and everything it ends are gone.
    const InstanceLock instanceLock(settingsFolder);
    MainWindow window(state);

    if (instanceLock.state() == InstanceLock::State::Taken) {
        const std::string text =
            commandLine.profile.empty()
                ? std::string("Sentello läuft schon mit diesen Einstellungen.")
                : "Sentello läuft schon mit dem Profil \"" + commandLine.profile + "\".";
        return abortStartup(window, settingsFile, text.c_str());
    }
    // A folder the program cannot write keeps no settings either; the watch itself still runs.
    if (instanceLock.state() == InstanceLock::State::Unusable) {
        std::fprintf(stderr, "sentello: no guard against a second start: %s\n",
                     instanceLock.failure().c_str());
    }

    // Told when this run ends cleanly, however it ends; a crash leaves it saying that the run
    // goes on, which the next start finds. Only the lock's holder may keep it.
    std::optional<RunMarker> runMarker;
    if (instanceLock.state() == InstanceLock::State::Held)
        runMarker.emplace(settingsFolder, currentBootId());
    const LastRun lastRun = runMarker ? runMarker->lastRun() : LastRun{};
    if (lastRun.endedAbnormally) {
        // Straight into the log, before anything that the next steps find of that run.
        EventLog(eventLogPath(settingsFile))
            .write(localNow(),
                   eventLogFields(
                       {.kind = WatchEvent::Kind::LastRunEndedAbnormally,
                        .reason = lastRun.machineRestarted ? "Neustart des Rechners" : ""}));
    }

    if (!runsGlibMainLoop()) {
        return abortStartup(window, settingsFile,
                            "Qt läuft ohne die GLib-Ereignisschleife (QT_NO_GLIB ist "
                            "gesetzt); ohne sie meldet die Kamera nichts.");
    }

    if (std::string missing; !loadCaptureLibrary(&missing)) {
        return abortStartup(window, settingsFile, "Die avicap32.dll ist nicht verfügbar.", missing);
    }
    std::optional<CameraSource> given;
    if (!commandLine.camera.empty()) {
        std::string error;
        given = givenSource(commandLine.camera, error);
        if (!given)
            return refuseGivenSource(window, error);
    }
    const WatchState watchState = loadWatchState(settingsFile);
    std::optional<CameraSource> source =
        commandLine.watch ? watchedSource(watchState) : std::nullopt;
    const bool resumesWatch = source.has_value();
    if (!source) {
        const std::vector<CameraSource> sources = findCameraSources(commandLine.demo, given);
        const int chosenDriver = chooseCaptureDriver(&window, sources);
        if (chosenDriver == -1) {
            window.close();
            return 0;
        }
        if (chosenDriver < 1)
            return abortStartup(window, settingsFile, "Ein Kamera-Treiber ist nicht verfügbar.");
        source = sources[chosenDriver - 1];
    }

    Camera camera;
    window.createGadgets(camera, settingsFile, homeFolder(), clipStem(commandLine.profile));
    window.setProfile(commandLine.profile);
    // Two watches side by side are told apart by their profile.
    if (!commandLine.profile.empty())
        window.setWindowTitle(window.windowTitle() + " – " +
                              QString::fromStdString(commandLine.profile));
    state.changePercent = 0.0f;
    const bool delivering = resumesWatch && connectWatchedCamera(camera, *source, settingsFile);
    if (!resumesWatch) {
        switch (connectCamera(camera, *source, settingsFile, &window)) {
            case Connection::Made:
                break;
            case Connection::Cancelled:
                // As closing the driver choice: the user changed their mind.
                window.close();
                return 0;
            case Connection::Failed:
                return abortStartup(window, settingsFile,
                                    "Auf den Treiber kann nicht zugegriffen werden.");
        }
    }
    window.loadSettings();
    // Under the instance lock, taken above: no other watch of these settings writes a clip.
    window.repairUnfinishedClips();
    if (resumesWatch)
        window.resumeRecordMode(watchState.watching);
    window.keepWatchState(commandLine.watch, storedSourceText(*source));
    window.fillVideoList();

    window.processFrame();
    // A camera that the watch still waits for has had no picture to check; every picture
    // comes to the detection as 32 bits all the same.
    const bool pictureChecked = !resumesWatch || delivering;
    if (pictureChecked && window.frameProcessor().bytesPerPixel() != 4) {
        return abortStartup(
            window, settingsFile,
            "Nur Bildschirm/Kamera-Auflösungen von 24 und 32 Bit werden unterstützt.");
    }
    if (resumesWatch && !delivering)
        window.awaitCamera();
    window.show();
    window.startFrameTimer();
    window.watchEvents().report({.kind = WatchEvent::Kind::ProgramStart,
                                 .version = versionText,
                                 .source = camera.sourceName()});
    if (const std::string reason = resumptionReason(lastRun); resumesWatch && !reason.empty())
        window.watchEvents().report({.kind = WatchEvent::Kind::WatchResumed, .reason = reason});
    quitOnTerminationSignals();
    QApplication::exec();

    window.saveSettings();
    window.stopWatching();
    camera.disconnectSource();
    window.watchEvents().report({.kind = WatchEvent::Kind::ProgramEnd});
    return 0;
}
