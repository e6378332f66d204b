#include "app/windowplacement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <functional>

namespace {

void placeFrameInTheMiddle(QWidget& window) {
    QRect frame = window.frameGeometry();
    frame.moveCenter(QGuiApplication::primaryScreen()->availableGeometry().center());
    // A window's position is its frame's.
    window.move(frame.topLeft());
}

void placeFrameBeside(QWidget& window, const QWidget& owner) {
    const QRect frame = window.frameGeometry();
    const QRect place =
        besideOwner(owner.frameGeometry(), frame.size(), owner.screen()->availableGeometry());
    if (place.size() != frame.size())
        window.resize(window.size() - (frame.size() - place.size()));
    window.move(place.topLeft());
}

// Places the window once more when the window manager has put its frame around it.
class FramedPlacement : public QObject {
public:
    FramedPlacement(QWidget& window, std::function<void(QWidget&)> place)
        : QObject(&window), m_place(std::move(place)) {
        window.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* window = static_cast<QWidget*>(watched);
        if (event->type() == QEvent::Move && window->frameGeometry() != window->geometry()) {
            window->removeEventFilter(this);
            m_place(*window);
            deleteLater();
        }
        return false;
    }

private:
    std::function<void(QWidget&)> m_place;
};

void placeNowAndFramed(QWidget& window, const std::function<void(QWidget&)>& place) {
    place(window);
    if (window.frameGeometry() == window.geometry())
        new FramedPlacement(window, place);
}

}  // namespace

void centreOnScreen(QWidget& window) {
    placeNowAndFramed(window, placeFrameInTheMiddle);
}

void placeBeside(QWidget& window, const QWidget& owner) {
    placeNowAndFramed(window, [&owner](QWidget& placed) { placeFrameBeside(placed, owner); });
}

QRect besideOwner(const QRect& owner, QSize size, const QRect& screen) {
    QRect place(QPoint(0, owner.top()), size.boundedTo(screen.size()));
    if (screen.right() - owner.right() >= owner.left() - screen.left())
        place.moveLeft(owner.right() + 1);
    else
        place.moveRight(owner.left() - 1);
    place.moveRight(std::min(place.right(), screen.right()));
    place.moveLeft(std::max(place.left(), screen.left()));
    place.moveBottom(std::min(place.bottom(), screen.bottom()));
    place.moveTop(std::max(place.top(), screen.top()));
    return place;
}
