#include "app/windowplacement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace {

void placeFrameInTheMiddle(QWidget& window) {
    QRect frame = window.frameGeometry();
    frame.moveCenter(QGuiApplication::primaryScreen()->availableGeometry().center());
    // A window's position is its frame's.
    window.move(frame.topLeft());
}

// Places the window once more when the window manager has put its frame around it.
class FramedPlacement : public QObject {
public:
    explicit FramedPlacement(QWidget& window) : QObject(&window) {
        window.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* window = static_cast<QWidget*>(watched);
        if (event->type() == QEvent::Move && window->frameGeometry() != window->geometry()) {
            window->removeEventFilter(this);
            placeFrameInTheMiddle(*window);
            deleteLater();
        }
        return false;
    }
};

}  // namespace

void centreOnScreen(QWidget& window) {
    placeFrameInTheMiddle(window);
    if (window.frameGeometry() == window.geometry())
        new FramedPlacement(window);
}
