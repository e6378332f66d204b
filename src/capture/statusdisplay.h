#pragma once

#include <QImage>
#include <QWidget>

#include <cstdint>
#include <vector>

class QFrame;
class QLabel;
class QProgressBar;

// The live picture at 4, 4 in its window, reduced to 320 x 240.
class LiveView : public QWidget {
public:
    explicit LiveView(QWidget* parent);
    void showPicture(const std::vector<std::uint8_t>& halfSize);
    void setPoint(int x, int y, QRgb colour);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_picture;
};

// What the detection shows on the main window in every run: the live picture with the
// changed blocks marked, the level bar with the trigger markers, and the trigger indicator.
class StatusDisplay {
public:
    explicit StatusDisplay(QWidget* window);

    void showLiveFrame(const std::vector<std::uint8_t>& halfSize);
    void markChangedBlock(int column, int row);
    void showChangeLevel(float changePercent, int trigger);
    void showTriggerState(bool triggered);

    const LiveView* liveView() const { return m_liveView; }
    const QProgressBar* levelBar() const { return m_levelBar; }
    const QFrame* upperMarker() const { return m_upperMarker; }
    const QFrame* lowerMarker() const { return m_lowerMarker; }
    const QLabel* triggerIndicator() const { return m_triggerIndicator; }

private:
    LiveView* m_liveView;
    QProgressBar* m_levelBar;
    QFrame* m_upperMarker;
    QFrame* m_lowerMarker;
    QLabel* m_triggerIndicator;
};
