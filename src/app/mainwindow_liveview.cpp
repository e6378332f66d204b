#include "app/mainwindow.h"

#include <QMenu>

#include <cstdio>

#include "app/advanceddialog.h"
#include "app/gadgettable.h"
#include "app/maskeditor.h"
#include "app/statusdisplay.h"
#include "detection/blockmask.h"
#include "detection/frameprocessor.h"
#include "detection/triggeractions.h"
#include "media/camera.h"

void MainWindow::connectLiveView() {
    LiveView* view = m_statusDisplay->liveView();
    // A right click, or the menu key while the picture has the focus.
    view->setFocusPolicy(Qt::StrongFocus);
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view, &QWidget::customContextMenuRequested, this, &MainWindow::showLiveViewMenu);
}

void MainWindow::showLiveViewMenu(QPoint position) {
    m_liveViewMenu = std::make_unique<QMenu>(this);
    m_liveViewMenu->addAction(QStringLiteral("Erweiterte Einstellungen…"), this,
                              &MainWindow::onAdvancedSettingsClicked);
    m_liveViewMenu->addAction(QStringLiteral("Fernalarm…"), this,
                              &MainWindow::onRemoteAlarmClicked);
    m_liveViewMenu->addAction(QStringLiteral("Erkennungsmaske bearbeiten"), this,
                              &MainWindow::editMask);
    m_liveViewMenu->addAction(QStringLiteral("Alarm testen"), this,
                              [this] { m_triggerActions->soundAlarm(triggerOptions()); });
    m_liveViewMenu->addAction(QStringLiteral("Protokoll anzeigen"), this,
                              &MainWindow::showEventLog);
    m_liveViewMenu->popup(m_statusDisplay->liveView()->mapToGlobal(position));
    holdOff(1);
}

void MainWindow::onAdvancedSettingsClicked() {
    // The wash shows while the dialog is open, so that what it says about the reference is seen.
    showBlockDifferences(true);
    withDialogOpen([this] {
        if (const std::optional<AdvancedOptions> chosen = editAdvancedOptions(
                this, *m_statusDisplay->liveView(), m_advancedOptions, m_showBlockDifferences)) {
            takeAdvancedOptions(*chosen);
        }
    });
    showBlockDifferences(m_showBlockDifferences);
}

void MainWindow::editMask() {
    if (m_editingMask)
        return;
    m_editingMask = true;
    LiveView* view = m_statusDisplay->liveView();
    view->setMaskEditing(true);
    new MaskEditor(view, maskFromText(m_advancedOptions.mask), detectionValues().mirror,
                   [this, view](std::optional<BlockMask> mask) {
                       m_editingMask = false;
                       view->setMaskEditing(false);
                       view->setFocus(Qt::OtherFocusReason);
                       holdOff(1);
                       if (!mask)
                           return;
                       AdvancedOptions chosen = m_advancedOptions;
                       chosen.mask = maskText(*mask);
                       takeAdvancedOptions(chosen);
                   });
}

void MainWindow::takeAdvancedOptions(const AdvancedOptions& chosen) {
    if (chosen == m_advancedOptions)
        return;
    const bool autostartSwitched = chosen.autostart != m_advancedOptions.autostart;
    m_advancedOptions = chosen;
    // An entry that could not be written starts nothing: the option stays off. One that could
    // not be removed is someone else's, and the option is off all the same.
    if (autostartSwitched && !setAutostartEntry(chosen.autostart) && chosen.autostart)
        m_advancedOptions.autostart = false;
    saveAdvancedOptions(m_advancedOptions, m_settingsFile);
    applyAdvancedOptions();
    // From the moment the autostart is on, the watch it starts finds what this one watches.
    saveWatchState();
}

void MainWindow::applyAdvancedOptions() {
    m_frameProcessor->setWatchOptions(
        maskFromText(m_advancedOptions.mask), m_advancedOptions.lightCompensation,
        m_advancedOptions.backgroundReference ? m_advancedOptions.backgroundSeconds : 0);
    m_cameraWatch.setLimit(m_advancedOptions.cameraAlarmSeconds);
    updatePreRecording();
}

// Footage from before a trigger is kept only while triggers record clips: no encoder runs and
// no microphone is open for nothing.
void MainWindow::updatePreRecording() {
    const GadgetTable& g = *m_gadgets;
    const bool recordsClips = g.state(Gadget::recordModeCheck) && !g.state(Gadget::countOnlyCheck);
    m_camera->setPreRecording({recordsClips ? m_advancedOptions.preTriggerSeconds : 0,
                               m_clipCompression, g.state(Gadget::audioInfoCheck) != 0});
}

void MainWindow::watchCamera(std::int64_t nowMs) {
    switch (m_cameraWatch.observe(m_camera->newestSequence(), nowMs)) {
        case CameraWatch::Change::Lost:
            std::fprintf(stderr, "sentello: no pictures from the camera; alarm\n");
            m_statusDisplay->showCameraLost(true);
            m_triggerActions->soundAlarm(triggerOptions());
            break;
        case CameraWatch::Change::Back:
            m_statusDisplay->showCameraLost(false);
            break;
        case CameraWatch::Change::None:
            break;
    }
    armCameraWatch();
}
