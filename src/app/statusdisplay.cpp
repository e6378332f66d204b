#include "app/statusdisplay.h"

#include "app/backgroundcolour.h"

#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kPictureX = 4;
constexpr int kPictureY = 4;
constexpr int kPictureWidth = 320;
constexpr int kPictureHeight = 240;
const QColor kTriggeredColour(255, 0, 0);
const QColor kQuietColour(0, 187, 0);
const QColor kChangedBlockColour(255, 255, 0);
const QColor kRecordingColour(255, 0, 0);
const QColor kIgnoredBlockShade(0, 0, 0, 70);
// The wash lets the picture show through: a block's own colour at most this opaque.
constexpr int kWashOpacity = 140;
// A dot in the top right corner of the live picture, as cameras show while they record.
const QRect kRecordingMark(kPictureWidth - 18, 6, 12, 12);

}  // namespace

LiveView::LiveView(QWidget* parent) : QWidget(parent) {
    setGeometry(kPictureX, kPictureY, kPictureWidth, kPictureHeight);
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_points.reserve(4 * 1200);
}

void LiveView::showPicture(const std::vector<std::uint8_t>& halfSize, bool changed) {
    if (m_picture.constBits() != halfSize.data()) {
        // Blue, green, red, unused is QImage's RGB32 in memory on little-endian machines.
        m_picture = QImage(halfSize.data(), kPictureWidth, kPictureHeight, kPictureWidth * 4,
                           QImage::Format_RGB32);
        changed = true;
    }
    // The detection runs more often than the camera delivers: a picture is painted once, with
    // the points of its own run, which stay until the next picture.
    if (changed) {
        m_points.clear();
        update();
    }
}

void LiveView::addPoint(QPoint point) {
    // The first point since the picture asks for a paint; the picture's own repaint, when it
    // comes in the same run, takes it along.
    if (m_points.empty())
        update();
    m_points.push_back(point);
}

void LiveView::setRecordingMark(bool shown) {
    if (shown == m_recordingMark)
        return;
    m_recordingMark = shown;
    update(kRecordingMark.adjusted(-1, -1, 1, 1));
}

void LiveView::setCameraLost(bool lost) {
    if (lost == m_cameraLost)
        return;
    m_cameraLost = lost;
    update();
}

void LiveView::setIgnoredBlocks(const BlockMask& ignored) {
    QRegion area;
    for (int column = 0; column < kBlockColumns; ++column) {
        for (int row = 0; row < kBlockRows; ++row) {
            if (ignored[blockIndex(column, row)])
                area += QRect(8 * column, 8 * (kBlockRows - 1 - row), 8, 8);
        }
    }
    m_ignoredArea = QPainterPath();
    m_ignoredArea.addRegion(area);
    update();
}

void LiveView::setMaskEditing(bool editing) {
    m_maskEditing = editing;
    update();
}

void LiveView::setDifferenceWash(const QImage& wash) {
    if (wash.isNull() && m_differenceWash.isNull())
        return;
    m_differenceWash = wash;
    update();
}

void LiveView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (m_picture.isNull()) {
        painter.fillRect(rect(), Qt::black);
    } else {
        painter.drawImage(0, 0, m_picture);
        if (!m_differenceWash.isNull())
            painter.drawImage(rect(), m_differenceWash);
        if (!m_maskEditing && !m_ignoredArea.isEmpty())
            painter.fillPath(m_ignoredArea, kIgnoredBlockShade);
        painter.setPen(kChangedBlockColour);
        painter.drawPoints(m_points.data(), static_cast<int>(m_points.size()));
    }
    if (m_recordingMark) {
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Qt::white, 1));
        painter.setBrush(kRecordingColour);
        painter.drawEllipse(kRecordingMark);
    }
    if (m_cameraLost) {
        const QRect band(0, height() / 2 - 16, width(), 32);
        painter.fillRect(band, QColor(0, 0, 0, 170));
        painter.setPen(Qt::white);
        painter.drawText(band, Qt::AlignCenter, QStringLiteral("Keine Bilder von der Kamera"));
    }
}

StatusDisplay::StatusDisplay(QWidget* window, const StatusGadgets& gadgets)
    : m_liveView(new LiveView(window)), m_gadgets(gadgets) {}

void StatusDisplay::showRun(const RunResult& run, const DetectionValues& values) {
    if (run.picture == RunResult::Picture::none)
        return;
    if (run.ignoredBlocks)
        showIgnoredBlocks(*run.ignoredBlocks);
    showLiveFrame(*run.halfSize, run.picture == RunResult::Picture::fresh);
    if (run.differences)
        showBlockDifferences(*run.differences, values.sensitivity);
    if (!run.compared)
        return;
    for (const BlockPosition& block : *run.changedBlocks)
        markChangedBlock(block.column, block.row);
    // The level and the indicator tell of the last picture until the next one comes; a run on
    // the same picture (other detection values) moves only the trigger's marks.
    if (run.picture == RunResult::Picture::fresh) {
        showChangeLevel(run.changePercent, values.trigger);
        showTriggerState(run.reachedTrigger);
    } else {
        placeTriggerMarks(values.trigger);
    }
}

void StatusDisplay::showLiveFrame(const std::vector<std::uint8_t>& halfSize, bool newPicture) {
    m_liveView->showPicture(halfSize, newPicture);
}

void StatusDisplay::markChangedBlock(int column, int row) {
    // Four points 2 pixels around the block's centre on the reduced picture, which lies at
    // 8c + 8, 240 - 8r in the window; the centre itself stays.
    const QPoint centre(8 * column + 8 - kPictureX, 240 - 8 * row - kPictureY);
    m_liveView->addPoint(centre + QPoint(0, -2));
    m_liveView->addPoint(centre + QPoint(0, 2));
    m_liveView->addPoint(centre + QPoint(-2, 0));
    m_liveView->addPoint(centre + QPoint(2, 0));
}

void StatusDisplay::showChangeLevel(float changePercent, int trigger) {
    m_gadgets.levelBar->setValue(static_cast<int>(std::lround(changePercent)));
    placeTriggerMarks(trigger);
}

void StatusDisplay::placeTriggerMarks(int trigger) {
    const int markerX = static_cast<int>(std::lround(trigger * 5.08 + 2));
    m_gadgets.upperMarker->move(markerX, m_gadgets.upperMarker->y());
    m_gadgets.lowerMarker->move(markerX, m_gadgets.lowerMarker->y());
}

void StatusDisplay::showCameraLost(bool lost) {
    m_liveView->setCameraLost(lost);
}

void StatusDisplay::showIgnoredBlocks(const BlockMask& ignored) {
    m_liveView->setIgnoredBlocks(ignored);
}

void StatusDisplay::showBlockDifferences(const BlockDifferences& differences, int sensitivity) {
    QImage wash(kBlockColumns, kBlockRows, QImage::Format_ARGB32);
    const int limit = std::max(sensitivity, 1);
    for (int column = 0; column < kBlockColumns; ++column) {
        for (int row = 0; row < kBlockRows; ++row) {
            const int difference = differences[blockIndex(column, row)];
            QColor colour;
            if (difference <= limit) {
                colour = QColor(0, 200, 0, kWashOpacity * difference / limit);
            } else {
                // Yellow just above the sensitivity, red from twice it on.
                const int above = std::min(difference - limit, limit);
                colour = QColor(255, 255 - 255 * above / limit, 0, kWashOpacity);
            }
            wash.setPixelColor(column, kBlockRows - 1 - row, colour);
        }
    }
    m_liveView->setDifferenceWash(wash);
}

void StatusDisplay::hideBlockDifferences() {
    m_liveView->setDifferenceWash({});
}

void StatusDisplay::showRecording(bool recording) {
    m_liveView->setRecordingMark(recording);
}

void StatusDisplay::showTriggerState(bool triggered) {
    // Shown on every run; the palette is touched only when the state changes.
    if (m_shownTriggered == triggered)
        return;
    m_shownTriggered = triggered;
    setBackgroundColour(m_gadgets.triggerIndicator, triggered ? kTriggeredColour : kQuietColour);
}
