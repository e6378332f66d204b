#include "app/mainwindow.h"

#include <QAbstractButton>
#include <QMessageBox>

#include "app/cameradialogs.h"
#include "app/gadgettable.h"
#include "detection/frameprocessor.h"
#include "media/camera.h"
#include "settings/camerachoices.h"

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

void MainWindow::withDialogOpen(const std::function<void()>& run) {
    countPassedTicks();
    m_dialogOpen = true;
    run();
    countPassedTicks();
    m_dialogOpen = false;
    holdOff(1);
    takeDueStepsSoon();
}

void MainWindow::withCameraDialogOpen(const std::function<void()>& run) {
    withDialogOpen(run);
    m_frameProcessor->restartBackground();
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
        updatePreRecording();
        CameraChoices choices = loadCameraChoices(m_settingsFile);
        choices.codec = chosen->codec == ClipCodec::Mpeg4 ? "mpeg4" : "mjpeg";
        choices.quality = chosen->quality;
        saveCompressionChoice(m_settingsFile, choices);
    });
}
