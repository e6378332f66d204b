#include "outputs/ownplayer.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QScreen>
#include <QWidget>

#include "outputs/movieplayer.h"

namespace {

// A file with sound only still gets a window to close.
constexpr QSize kNoPictureSize(320, 240);

class PlayerWindow : public QWidget {
public:
    PlayerWindow(const QString& path, QSize pictureSize)
        : QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                               Qt::WindowCloseButtonHint) {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setWindowTitle(QStringLiteral("Video ") + path);
        setFixedSize(pictureSize);
        move(QGuiApplication::primaryScreen()->availableGeometry().center() - rect().center());
    }

    // From any thread: the picture is shown from the event loop.
    void showPicture(const QImage& picture) {
        QMetaObject::invokeMethod(
            this,
            [this, picture] {
                m_picture = picture;
                update();
            },
            Qt::QueuedConnection);
    }

    QEventLoop& loop() { return m_loop; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        if (m_picture.isNull())
            painter.fillRect(rect(), Qt::black);
        else
            painter.drawImage(rect(), m_picture);
    }

    void closeEvent(QCloseEvent* event) override {
        event->accept();
        m_loop.quit();
    }

private:
    QImage m_picture;
    QEventLoop m_loop;
};

// While the player is open the program's other windows take no input, and closing one of
// them closes the player instead.
class OtherWindowsBlocker : public QObject {
public:
    explicit OtherWindowsBlocker(PlayerWindow& player) : m_player(player) {
        qApp->installEventFilter(this);
    }
    ~OtherWindowsBlocker() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget || widget->window() == &m_player)
            return false;
        switch (event->type()) {
            case QEvent::Close:
                m_player.close();
                event->ignore();
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
    PlayerWindow& m_player;
};

}  // namespace

void playInOwnPlayer(MoviePlayer& movies, const QString& path) {
    if (!movies.load(kOwnPlayerSlot, path.toStdString()))
        return;
    const int width = movies.pictureWidth(kOwnPlayerSlot);
    const int height = movies.pictureHeight(kOwnPlayerSlot);
    PlayerWindow player(path, width > 0 && height > 0 ? QSize(width, height) : kNoPictureSize);
    const OtherWindowsBlocker blocker(player);
    player.show();
    movies.play(kOwnPlayerSlot, [&player](const QImage& picture) { player.showPicture(picture); });
    player.loop().exec();
    movies.stop(kOwnPlayerSlot);
}
