#include "app/startup.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>

#include "app/mainwindow.h"
#include "capture/camera.h"
#include "capture/driverchoicedialog.h"
#include "capture/frameprocessor.h"
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

bool connectCamera(Camera& camera, const CameraSource& source) {
    for (int attempt = 0; attempt < kConnectAttempts; ++attempt) {
        if (camera.connectSource(source))
            return true;
    }
    return false;
}

}  // namespace

int runSentello(const CommandLine& commandLine) {
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
    if (!connectCamera(camera, sources[chosenDriver - 1])) {
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
    QApplication::exec();

    window.saveSettings();
    window.stopTriggerActions();
    camera.disconnectSource();
    return 0;
}
