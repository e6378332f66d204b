#pragma once

#include <QImage>
#include <QString>

#include <cstdint>
#include <functional>

#include "outputs/watchevent.h"

// What the desktop is told of a trigger: "09.12.2026 12:05:07 – 37 % des Bildes verändert".
QString triggerNotificationText(const WatchEvent& trigger);

// Tells the desktop of a trigger in its own way: a freedesktop notification through the
// session bus, with the picture of the moment. At most one every ten seconds, so that a
// restless scene does not flood the desktop; without a session bus or a notification service
// there is silently none. The call never waits for the desktop.
class DesktopNotifier {
public:
    static constexpr std::int64_t kQuietMs = 10'000;

    DesktopNotifier();

    // `nowMs` on a steady clock; `takePicture` is asked only when the notification goes out,
    // and may give a null picture.
    void notifyMotion(std::int64_t nowMs, const QString& body,
                      const std::function<QImage()>& takePicture);

private:
    std::int64_t m_lastMs;
};
