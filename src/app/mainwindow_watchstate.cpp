#include "app/mainwindow.h"

#include <QAbstractButton>
#include <QMessageBox>

#include <cstdio>
#include <filesystem>
#include <utility>

#include "app/gadgettable.h"
#include "app/statusdisplay.h"
#include "media/camera.h"
#include "settings/autostartentry.h"
#include "settings/settingsfolder.h"

void MainWindow::keepWatchState(bool startedAsWatch, const std::string& camera) {
    m_startedAsWatch = startedAsWatch;
    m_storedWatchState = loadWatchState(m_settingsFile);
    m_watchState = {camera, m_gadgets->state(Gadget::recordModeCheck) != 0};
    connect(m_gadgets->as<QAbstractButton>(Gadget::recordModeCheck), &QAbstractButton::toggled,
            this, [this](bool on) {
                m_watchState.watching = on;
                saveWatchState();
            });
    saveWatchState();
}

void MainWindow::resumeRecordMode(bool on) {
    auto* check = m_gadgets->as<QAbstractButton>(Gadget::recordModeCheck);
    if (check->isChecked() == on)
        return;
    check->setChecked(on);
    holdOffForWait();
}

void MainWindow::awaitCamera() {
    m_awaitingCamera = true;
    m_statusDisplay->showCameraLost(true);
    connect(m_camera, &Camera::deliveryResumed, this, [this] {
        if (!std::exchange(m_awaitingCamera, false))
            return;
        m_statusDisplay->showCameraLost(false);
    });
}

// Only a watch writes its state: a file of a user who never asked for one stays as it was.
bool MainWindow::keepsWatchState() const {
    return m_storedWatchState && (m_startedAsWatch || m_advancedOptions.autostart);
}

// Written at once and to the disk: a power cut right after a switch must not bring the watch
// back in the other mode.
void MainWindow::saveWatchState() {
    if (!keepsWatchState() || m_watchState == *m_storedWatchState)
        return;
    ::saveWatchState(m_watchState, m_settingsFile);
    m_storedWatchState = m_watchState;
}

bool MainWindow::setAutostartEntry(bool on) {
    const std::string folder = std::filesystem::path(m_settingsFile).parent_path().string() + "/";
    const std::string path = autostartFolder() + autostartFileName(m_profile);
    std::optional<std::string> failure;
    if (!on) {
        failure = removeAutostartEntry(path, folder);
    } else if (const std::optional<std::string> text =
                   autostartEntryText(runningProgramPath(), m_profile, folder)) {
        failure = writeAutostartEntry(path, *text, folder);
    } else {
        failure = runningProgramPath() + ": this path cannot stand in an autostart entry";
    }
    if (!failure)
        return true;
    std::fprintf(stderr, "sentello: autostart: %s\n", failure->c_str());
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Information"),
                    (on ? QStringLiteral("Der Autostart-Eintrag wurde nicht geschrieben:\n")
                        : QStringLiteral("Der Autostart-Eintrag wurde nicht entfernt:\n")) +
                        QString::fromStdString(*failure),
                    QMessageBox::Ok, this);
    box.exec();
    return false;
}
