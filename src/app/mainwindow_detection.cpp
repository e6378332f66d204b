#include "app/mainwindow.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QSignalBlocker>
#include <QSlider>
#include <QTabBar>

#include "app/gadgetsettings.h"
#include "app/gadgettable.h"
#include "app/statusdisplay.h"
#include "detection/datetemplate.h"
#include "detection/frameprocessor.h"
#include "detection/timeslots.h"
#include "settings/settingskeys.h"

void MainWindow::connectDetectionControls() {
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
}

DetectionValues MainWindow::detectionValues() const {
    // Read on every run of the timer: straight from the gadgets of known kind.
    const GadgetTable& g = *m_gadgets;
    return {g.as<QSlider>(Gadget::brightnessSlider)->value(),
            g.as<QSlider>(Gadget::sensitivitySlider)->value(),
            g.as<QSlider>(Gadget::triggerSlider)->value(),
            g.as<QAbstractButton>(Gadget::mirrorCheck)->isChecked()};
}

bool MainWindow::processFrame() {
    const DetectionValues values = detectionValues();
    const RunResult run = m_frameProcessor->processFrame(values);
    m_statusDisplay->showRun(run, values);
    if (run.triggered)
        runTriggerActions();
    return run.picture != RunResult::Picture::none;
}

bool MainWindow::showFrame() {
    const DetectionValues values = detectionValues();
    const RunResult run = m_frameProcessor->showFrame(values);
    m_statusDisplay->showRun(run, values);
    return run.picture != RunResult::Picture::none;
}

void MainWindow::showBlockDifferences(bool shown) {
    m_frameProcessor->askForBlockDifferences(shown);
    if (!shown)
        m_statusDisplay->hideBlockDifferences();
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

void MainWindow::withQuietSliders(const std::function<void()>& change) {
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
    {
        const QSignalBlocker quietTabs(m_gadgets->widget(Gadget::slotTabs));
        m_gadgets->setState(Gadget::slotTabs, slotForClock(now, slotTimes()));
    }
    if (fromClockCheck)
        holdOff(1);
    withQuietSliders([this] { loadSlotValues(*m_gadgets, m_settingsFile); });
}

void MainWindow::clockCheck() {
    const DateFields now = m_clock.localNow();
    const int minuteOfDay = now.hour * 60 + now.minute;
    if (minuteOfDay == m_lastClockMinute)
        return;
    m_lastClockMinute = minuteOfDay;
    const std::string clockText = formatDateTemplate("%hh:%ii", now);
    m_gadgets->setText(Gadget::clockLabel,
                       QStringLiteral("Aktuelle Systemzeit: ") + QString::fromStdString(clockText));
    // A slot chosen by hand lasts until the minute changes.
    selectSlotByClock(true);
}
