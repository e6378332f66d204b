#include "app/startup.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>

#include "app/mainwindow.h"
#include "app/quitsignals.h"
#include "app/translations.h"
#include "capture/camera.h"
#include "capture/driverchoicedialog.h"
#include "capture/frameprocessor.h"
#include "settings/camerachoices.h"
#include "settings/settingsfolder.h"

namespace {

constexpr int kConnectAttempts = 10;
constexpr int kStartupFailed = 1;

// Every start-up error closes the (hidden) main window first, then says why in a box.
int abortStartup(MainWindow& window, const char* text) {
    window.close();
    std::fprintf(stderr, "sentello: Abbruch: %s\n", text);
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Abbruch:"), QString::fromUtf8(text),
                    QMessageBox::Ok);
    box.exec();
    return kStartupFailed;
}

// The format chosen earlier for this camera is tried first; a camera that no longer delivers
// it gets the remaining attempts with its own choice.
bool connectCamera(Camera& camera, const CameraSource& source, const std::string& settingsFile) {
    const CameraChoices choices = loadCameraChoices(settingsFile);
    if (!choices.formatCamera.empty() && choices.formatCamera == source.name) {
        camera.presetFormat(CameraFormat{choices.width, choices.height, choices.rateNumerator,
                                         choices.rateDenominator});
    }
    for (int attempt = 0; attempt < kConnectAttempts; ++attempt) {
        if (camera.connectSource(source))
            return true;
        camera.presetFormat(std::nullopt);
    }
    return false;
}

}  // namespace

int runSentello(const CommandLine& commandLine) {
    installGermanTranslations();
    DetectionState state;
    const std::string settingsFolder = prepareSettingsFolder(homeFolder(), runningProgramFolder());
    MainWindow window(state);

    if (!loadCaptureLibrary()) {
        return abortStartup(window, "Die avicap32.dll ist nicht verfügbar.");
    }
    const std::vector<CameraSource> sources = findCameraSources(commandLine.extraSources);
    const int chosenDriver = chooseCaptureDriver(&window, sources);
    if (chosenDriver == -1) {
        window.close();
        return 0;
    }
    if (chosenDriver < 1)
        return abortStartup(window, "Ein Kamera-Treiber ist nicht verfügbar.");

    Camera camera;
    window.createGadgets(camera, settingsFilePath(settingsFolder), homeFolder());
    state.changePercent = 0.0f;
    if (!connectCamera(camera, sources[chosenDriver - 1], settingsFilePath(settingsFolder))) {
        return abortStartup(window, "Auf den Treiber kann nicht zugegriffen werden.");
    }
    window.loadSettings();
    window.fillVideoList();

    window.frameProcessor().processFrame(window.detectionValues());
    if (window.frameProcessor().bytesPerPixel() != 4) {
        return abortStartup(
            window, "Nur Bildschirm/Kamera-Auflösungen von 24 und 32 Bit werden unterstützt.");
    }
    window.show();
    window.startFrameTimer();
    quitOnTerminationSignals();
    QApplication::exec();

    window.saveSettings();
    window.stopWatching();
    camera.disconnectSource();
    return 0;
}
