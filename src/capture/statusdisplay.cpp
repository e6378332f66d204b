#include "capture/statusdisplay.h"

#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>

#include <cmath>
#include <cstring>

namespace {

constexpr int kPictureX = 4;
constexpr int kPictureY = 4;
constexpr int kPictureWidth = 320;
constexpr int kPictureHeight = 240;
const QColor kMarkerColour(0, 136, 255);
const QColor kTriggeredColour(255, 0, 0);
const QColor kQuietColour(0, 187, 0);
constexpr QRgb kChangedBlockColour = qRgb(255, 255, 0);

void setBackground(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    if (palette.color(QPalette::Window) == colour && widget->autoFillBackground())
        return;
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

QFrame* makeMarker(QWidget* window, int y) {
    auto* marker = new QFrame(window);
    marker->setGeometry(0, y, 3, 8);
    setBackground(marker, kMarkerColour);
    return marker;
}

}  // namespace

LiveView::LiveView(QWidget* parent)
    : QWidget(parent), m_picture(kPictureWidth, kPictureHeight, QImage::Format_RGB32) {
    setGeometry(kPictureX, kPictureY, kPictureWidth, kPictureHeight);
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_picture.fill(Qt::black);
}

void LiveView::showPicture(const std::vector<std::uint8_t>& halfSize) {
    // The detection runs more often than the camera delivers: repaint only what changed.
    // Blue, green, red, unused is QImage's RGB32 in memory on little-endian machines.
    const std::size_t size = std::min<std::size_t>(halfSize.size(), m_picture.sizeInBytes());
    if (std::memcmp(m_picture.constBits(), halfSize.data(), size) == 0)
        return;
    std::memcpy(m_picture.bits(), halfSize.data(), size);
    update();
}

void LiveView::setPoint(int x, int y, QRgb colour) {
    if (!m_picture.valid(x, y) || m_picture.pixel(x, y) == colour)
        return;
    m_picture.setPixel(x, y, colour);
    update();
}

void LiveView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, m_picture);
}

StatusDisplay::StatusDisplay(QWidget* window)
    : m_liveView(new LiveView(window)),
      m_levelBar(new QProgressBar(window)),
      m_upperMarker(makeMarker(window, 248)),
      m_lowerMarker(makeMarker(window, 272)),
      m_triggerIndicator(new QLabel(window)) {
    m_levelBar->setGeometry(4, 256, 508, 16);
    m_levelBar->setRange(0, 100);
    m_levelBar->setValue(0);
    m_levelBar->setTextVisible(false);
    m_triggerIndicator->setGeometry(328, 200, 184, 45);
    m_triggerIndicator->setFrameStyle(QFrame::Panel | QFrame::Sunken);
}

void StatusDisplay::showLiveFrame(const std::vector<std::uint8_t>& halfSize) {
    m_liveView->showPicture(halfSize);
}

void StatusDisplay::markChangedBlock(int column, int row) {
    // Four points 2 pixels around the block's centre on the reduced picture.
    const int x = 8 * column + 8 - kPictureX;
    const int y = 240 - 8 * row - kPictureY;
    m_liveView->setPoint(x, y - 2, kChangedBlockColour);
    m_liveView->setPoint(x, y + 2, kChangedBlockColour);
    m_liveView->setPoint(x - 2, y, kChangedBlockColour);
    m_liveView->setPoint(x + 2, y, kChangedBlockColour);
}

void StatusDisplay::showChangeLevel(float changePercent, int trigger) {
    m_levelBar->setValue(static_cast<int>(std::lround(changePercent)));
    const int markerX = static_cast<int>(std::lround(trigger * 5.08 + 2));
    m_upperMarker->move(markerX, m_upperMarker->y());
    m_lowerMarker->move(markerX, m_lowerMarker->y());
}

void StatusDisplay::showTriggerState(bool triggered) {
    setBackground(m_triggerIndicator, triggered ? kTriggeredColour : kQuietColour);
}
