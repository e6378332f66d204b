#include "outputs/desktopnotification.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QVariantMap>

#include <limits>

namespace {

constexpr int kPictureWidth = 160;

// The "image-data" hint that notification services take: width, height, row stride, alpha,
// bits per sample, channels, the pixels.
struct NotificationImage {
    QImage picture;  // RGB888
};

QDBusArgument& operator<<(QDBusArgument& argument, const NotificationImage& image) {
    const QImage& picture = image.picture;
    argument.beginStructure();
    argument << picture.width() << picture.height() << int(picture.bytesPerLine()) << false << 8
             << 3
             << QByteArray(reinterpret_cast<const char*>(picture.constBits()),
                           int(picture.sizeInBytes()));
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, NotificationImage&) {
    return argument;
}

}  // namespace

Q_DECLARE_METATYPE(NotificationImage)

QString triggerNotificationText(const WatchEvent& trigger) {
    return QString::fromStdString(formatDateTemplate(kDateTimeTemplate, trigger.when) + " – " +
                                  shareText(trigger.changePercent) + " des Bildes verändert");
}

DesktopNotifier::DesktopNotifier() : m_lastMs(std::numeric_limits<std::int64_t>::min() / 2) {
    qDBusRegisterMetaType<NotificationImage>();
}

void DesktopNotifier::notifyMotion(std::int64_t nowMs, const QString& body,
                                   const std::function<QImage()>& takePicture) {
    if (nowMs - m_lastMs < kQuietMs)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    m_lastMs = nowMs;
    QVariantMap hints;
    if (const QImage picture = takePicture(); !picture.isNull()) {
        hints.insert(QStringLiteral("image-data"),
                     QVariant::fromValue(NotificationImage{
                         picture.scaledToWidth(kPictureWidth, Qt::SmoothTransformation)
                             .convertToFormat(QImage::Format_RGB888)}));
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    call << QStringLiteral("Sentello") << 0u << QString()
         << QStringLiteral("Sentello: Bewegung erkannt") << body << QStringList() << hints << -1;
    // Sent and left: an answer, or none, changes nothing.
    bus.send(call);
}
