#include "app/maskeditor.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {

// The live picture is the working frame at half size: a block is 8 x 8 pixels there.
constexpr int kShownBlockSize = kBlockSize / 2;
const QColor kIgnoredShade(0, 0, 0, 150);
const QColor kGridColour(255, 255, 255, 40);

}  // namespace

MaskEditor::MaskEditor(QWidget* liveView, const BlockMask& cameraMask, bool mirrored,
                       std::function<void(std::optional<BlockMask>)> done)
    : QWidget(liveView), m_cameraMask(cameraMask), m_mirrored(mirrored), m_done(std::move(done)) {
    setGeometry(liveView->rect());
    setCursor(Qt::CrossCursor);
    // The right button paints here; the live picture's menu waits until the editing ends.
    setContextMenuPolicy(Qt::PreventContextMenu);
    setFocusPolicy(Qt::StrongFocus);
    show();
    setFocus(Qt::OtherFocusReason);
    qApp->installEventFilter(this);
}

MaskEditor::~MaskEditor() {
    qApp->removeEventFilter(this);
}

void MaskEditor::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(kGridColour);
    for (int x = kShownBlockSize; x < width(); x += kShownBlockSize)
        painter.drawLine(x, 0, x, height());
    for (int y = kShownBlockSize; y < height(); y += kShownBlockSize)
        painter.drawLine(0, y, width(), y);
    for (int column = 0; column < kBlockColumns; ++column) {
        for (int row = 0; row < kBlockRows; ++row) {
            const int cameraColumn = m_mirrored ? kBlockColumns - 1 - column : column;
            if (m_cameraMask[blockIndex(cameraColumn, row)]) {
                painter.fillRect(column * kShownBlockSize, (kBlockRows - 1 - row) * kShownBlockSize,
                                 kShownBlockSize, kShownBlockSize, kIgnoredShade);
            }
        }
    }
    if (m_painting)
        return;
    // Over the bottom rows, so it goes while a button is held.
    const QString hint = QStringLiteral(
        "Ziehen: Blöcke ignorieren · rechte Taste: beobachten\n"
        "Enter: übernehmen · Esc: abbrechen");
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    const QRect band(0, height() - 28, width(), 28);
    // Smaller still where the text would not fit the picture's width.
    while (QFontMetrics(small).boundingRect(band, Qt::AlignCenter, hint).width() > width() - 8 &&
           small.pointSizeF() > 5) {
        small.setPointSizeF(small.pointSizeF() - 0.5);
    }
    painter.setFont(small);
    painter.fillRect(band, QColor(0, 0, 0, 150));
    painter.setPen(Qt::white);
    painter.drawText(band, Qt::AlignCenter, hint);
}

void MaskEditor::mousePressEvent(QMouseEvent* event) {
    const QPoint point = event->position().toPoint();
    if (!rect().contains(point))
        return;
    m_painting = event->button() == Qt::LeftButton && !m_cameraMask[cameraBlockAt(point)];
    m_lastPoint = point;
    paintBlockAt(point);
    update();  // the hint goes while a button is held
}

void MaskEditor::mouseMoveEvent(QMouseEvent* event) {
    if (m_painting)
        paintTo(event->position().toPoint());
}

void MaskEditor::mouseReleaseEvent(QMouseEvent* event) {
    if (m_painting)
        paintTo(event->position().toPoint());
    m_painting.reset();
    update();
}

void MaskEditor::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            end(m_cameraMask);
            break;
        case Qt::Key_Escape:
            end(std::nullopt);
            break;
        default:
            QWidget::keyPressEvent(event);
    }
}

bool MaskEditor::eventFilter(QObject* watched, QEvent* event) {
    // A click anywhere else ends the editing, and does what it does there as well.
    if (event->type() == QEvent::MouseButtonPress && watched != this && watched->isWidgetType()) {
        const auto* press = static_cast<QMouseEvent*>(event);
        if (!rect().contains(mapFromGlobal(press->globalPosition().toPoint())))
            end(m_cameraMask);
    }
    return false;
}

void MaskEditor::paintTo(QPoint point) {
    const QPoint step = point - m_lastPoint;
    const int steps = std::max(1, (std::max(std::abs(step.x()), std::abs(step.y())) + 3) / 4);
    for (int i = 1; i <= steps; ++i)
        paintBlockAt(m_lastPoint + step * i / steps);
    m_lastPoint = point;
}

std::size_t MaskEditor::cameraBlockAt(QPoint point) const {
    const int column = std::clamp(point.x() / kShownBlockSize, 0, kBlockColumns - 1);
    const int row = std::clamp(kBlockRows - 1 - point.y() / kShownBlockSize, 0, kBlockRows - 1);
    return static_cast<std::size_t>(
        blockIndex(m_mirrored ? kBlockColumns - 1 - column : column, row));
}

void MaskEditor::paintBlockAt(QPoint point) {
    if (!m_painting || !rect().contains(point))
        return;
    const std::size_t index = cameraBlockAt(point);
    if (m_cameraMask[index] == *m_painting)
        return;
    m_cameraMask[index] = *m_painting;
    const QPoint corner = point / kShownBlockSize * kShownBlockSize;
    update(QRect(corner, QSize(kShownBlockSize, kShownBlockSize)));
}

void MaskEditor::end(std::optional<BlockMask> result) {
    if (m_ended)
        return;
    m_ended = true;
    hide();
    m_done(result);
    deleteLater();
}
