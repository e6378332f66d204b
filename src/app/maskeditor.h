#pragma once

#include <QWidget>

#include <functional>
#include <optional>

#include "detection/blockmask.h"

// Painting the blocks that the detection ignores, on the live picture: dragging with the left
// button ignores the blocks it passes (or, when it starts on an ignored block, watches them
// again), dragging with the right button watches them again. Enter or a click anywhere else
// ends the editing with the mask as painted, Escape ends it without. Ignored blocks are shown
// dimmed over the running picture. The editor lies over the live picture and deletes itself
// when it ends.
class MaskEditor : public QWidget {
public:
    // `cameraMask` is in the camera's own orientation; `mirrored` says whether the picture
    // shows it mirrored. `done` gets the new mask, or none when the editing was cancelled.
    MaskEditor(QWidget* liveView, const BlockMask& cameraMask, bool mirrored,
               std::function<void(std::optional<BlockMask>)> done);
    ~MaskEditor() override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Index of the block under a point of the picture, in the camera's own orientation.
    std::size_t cameraBlockAt(QPoint point) const;
    // Paints every block on the way from the last point to `point`, so a fast drag leaves no gaps.
    void paintTo(QPoint point);
    void paintBlockAt(QPoint point);
    void end(std::optional<BlockMask> result);

    BlockMask m_cameraMask;
    bool m_mirrored;
    std::function<void(std::optional<BlockMask>)> m_done;
    std::optional<bool> m_painting;  // ignoring or watching, while a button is held
    QPoint m_lastPoint;
    bool m_ended = false;
};
