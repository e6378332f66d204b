#include "app/ownplayer.h"

#include <QEventLoop>
#include <QImage>
#include <QPainter>
#include <QWidget>

#include "app/sidewindow.h"
#include "app/windowplacement.h"
#include "media/movieplayer.h"

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
        centreOnScreen(*this);
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

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        if (m_picture.isNull())
            painter.fillRect(rect(), Qt::black);
        else
            painter.drawImage(rect(), m_picture);
    }

private:
    QImage m_picture;
};

}  // namespace

void playInOwnPlayer(MoviePlayer& movies, const QString& path) {
    // The window's size is the picture's, known once the movie has loaded. Meanwhile the
    // program repaints but takes no input, so nothing else is started before the player.
    QEventLoop loading;
    bool loaded = false;
    bool pending = true;
    movies.load(kOwnPlayerSlot, path.toStdString(), [&](bool done) {
        loaded = done;
        pending = false;
        loading.quit();
    });
    if (pending)
        loading.exec(QEventLoop::ExcludeUserInputEvents);
    if (!loaded)
        return;
    const int width = movies.pictureWidth(kOwnPlayerSlot);
    const int height = movies.pictureHeight(kOwnPlayerSlot);
    PlayerWindow player(path, width > 0 && height > 0 ? QSize(width, height) : kNoPictureSize);
    movies.play(kOwnPlayerSlot, [&player](const QImage& picture) { player.showPicture(picture); });
    runUntilClosed(player);
    movies.stop(kOwnPlayerSlot);
}
