#pragma once

#include <QBasicTimer>
#include <QElapsedTimer>
#include <QWidget>

#include <memory>
#include <string>

#include "capture/motiondetector.h"

class Camera;
class FrameProcessor;
class QLabel;
class StatusDisplay;

// The main window: fixed 800 x 480, hidden until the first picture was processed. Its 10 ms
// frameTimer drives everything that happens while the program runs.
class MainWindow : public QWidget {
    Q_OBJECT

public:
    explicit MainWindow(DetectionState& state);
    ~MainWindow() override;

    void createGadgets(Camera& camera);
    FrameProcessor& frameProcessor() { return *m_frameProcessor; }

    // The detection values in force: the slot sliders and the mirror check box once they
    // exist; until then their start values.
    DetectionValues detectionValues() const { return {}; }

    // Starts frameTimer; the first minute step comes a minute from now.
    void startFrameTimer();

    const StatusDisplay& statusDisplay() const { return *m_statusDisplay; }

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    void minuteStep();
    void clockCheck();

    DetectionState& m_state;
    std::unique_ptr<StatusDisplay> m_statusDisplay;
    std::unique_ptr<FrameProcessor> m_frameProcessor;
    QLabel* m_clockLabel = nullptr;
    QBasicTimer m_frameTimer;
    QElapsedTimer m_minuteMark;
    std::string m_lastClockText;
};
