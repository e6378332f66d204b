#include "app/sidewindow.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QKeySequence>
#include <QShortcut>
#include <QWidget>

namespace {

// Sees every event of the program while the side window is open.
class OtherWindowsBlocker : public QObject {
public:
    OtherWindowsBlocker(QWidget& window, QEventLoop& loop) : m_window(window), m_loop(loop) {
        qApp->installEventFilter(this);
    }
    ~OtherWindowsBlocker() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget)
            return false;
        if (widget->window() == &m_window) {
            if (event->type() == QEvent::Close && widget == &m_window)
                m_loop.quit();
            return false;
        }
        switch (event->type()) {
            case QEvent::Close:
                event->ignore();
                m_window.close();
                return true;
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::KeyPress:
            case QEvent::KeyRelease:
            case QEvent::Wheel:
            case QEvent::Shortcut:
                return true;
            default:
                return false;
        }
    }

private:
    QWidget& m_window;
    QEventLoop& m_loop;
};

}  // namespace

void runUntilClosed(QWidget& window) {
    QEventLoop loop;
    const OtherWindowsBlocker blocker(window, loop);
    const QShortcut escape(QKeySequence(Qt::Key_Escape), &window, &window, &QWidget::close);
    window.show();
    loop.exec();
}
