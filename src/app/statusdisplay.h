#pragma once

#include <QImage>
#include <QPainterPath>
#include <QPoint>
#include <QWidget>

#include <cstdint>
#include <optional>
#include <vector>

#include "detection/blockmask.h"
#include "detection/frameprocessor.h"
#include "detection/motiondetector.h"

class QFrame;
class QLabel;
class QProgressBar;

// The live picture at 4, 4 in its window: the working frame's half-size copy, shown where it
// lies (no copy), with the changed-block points painted over it.
class LiveView : public QWidget {
public:
    explicit LiveView(QWidget* parent);

    // The buffer must stay valid until the next call; `changed` says whether its pixels did.
    // A changed picture comes without the points of the one before.
    void showPicture(const std::vector<std::uint8_t>& halfSize, bool changed);
    void addPoint(QPoint point);
    // The red mark in a corner while a clip is written.
    void setRecordingMark(bool shown);
    // "Keine Bilder von der Kamera" across the picture.
    void setCameraLost(bool lost);
    bool showsCameraLost() const { return m_cameraLost; }
    // The blocks that the detection ignores, marked faintly, in the working frame's
    // orientation; not while the mask is edited, when the editor shows them.
    void setIgnoredBlocks(const BlockMask& ignored);
    void setMaskEditing(bool editing);
    // One colour a block over the picture, as the working frame lies; a null image shows none.
    void setDifferenceWash(const QImage& wash);
    bool showsDifferenceWash() const { return !m_differenceWash.isNull(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_picture;
    std::vector<QPoint> m_points;
    bool m_recordingMark = false;
    bool m_cameraLost = false;
    QPainterPath m_ignoredArea;
    bool m_maskEditing = false;
    QImage m_differenceWash;
};

// The gadgets of the main window that show the detection's level and trigger state.
struct StatusGadgets {
    QProgressBar* levelBar = nullptr;
    QFrame* upperMarker = nullptr;
    QFrame* lowerMarker = nullptr;
    QLabel* triggerIndicator = nullptr;
};

// What the detection shows on the main window in every run: the live picture with the
// changed blocks marked, the level bar with the trigger markers, and the trigger indicator.
class StatusDisplay {
public:
    StatusDisplay(QWidget* window, const StatusGadgets& gadgets);

    // Everything a run found: its picture, the ignored and the changed blocks, the block
    // differences, and after a comparison the level and the trigger state.
    void showRun(const RunResult& run, const DetectionValues& values);

    void showLiveFrame(const std::vector<std::uint8_t>& halfSize, bool newPicture);
    void markChangedBlock(int column, int row);
    void showChangeLevel(float changePercent, int trigger);
    // The marks above and below the level bar at the trigger value.
    void placeTriggerMarks(int trigger);
    void showTriggerState(bool triggered);
    void showRecording(bool recording);
    void showCameraLost(bool lost);
    void showIgnoredBlocks(const BlockMask& ignored);
    // Green as far as a block stays below the sensitivity, yellow to red above it.
    void showBlockDifferences(const BlockDifferences& differences, int sensitivity);
    void hideBlockDifferences();

    LiveView* liveView() const { return m_liveView; }

private:
    LiveView* m_liveView;
    StatusGadgets m_gadgets;
    std::optional<bool> m_shownTriggered;
};
