#include "outputs/watchevents.h"

#include <QCoreApplication>
#include <QThread>

WatchEvents::WatchEvents(std::function<DateFields()> localNow) : m_localNow(std::move(localNow)) {}

void WatchEvents::subscribe(std::function<void(const WatchEvent&)> subscriber) {
    m_subscribers.push_back(std::move(subscriber));
}

void WatchEvents::report(WatchEvent event) {
    if (QThread::currentThread() == thread()) {
        deliver(std::move(event));
        return;
    }
    // Dropped with the stream, should it go first.
    QMetaObject::invokeMethod(
        this, [this, event = std::move(event)]() mutable { deliver(std::move(event)); },
        Qt::QueuedConnection);
}

void WatchEvents::deliverWaiting() {
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

void WatchEvents::deliver(WatchEvent event) {
    event.when = m_localNow();
    for (const auto& subscriber : m_subscribers)
        subscriber(event);
}
