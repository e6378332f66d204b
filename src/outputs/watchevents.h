#pragma once

#include <QObject>

#include <functional>
#include <vector>

#include "detection/datetemplate.h"
#include "outputs/watchevent.h"

// The one stream of the watch's events: each source reports an event here once, and each
// channel that wants to hear of events subscribes once. Subscribers hear every event on the
// thread the stream was made on (the main thread), in the order they subscribed, stamped with
// the local time at which it arrived there; a report from another thread comes over with a
// queued call, as the event loop gets to it.
class WatchEvents : public QObject {
public:
    explicit WatchEvents(std::function<DateFields()> localNow);

    void subscribe(std::function<void(const WatchEvent&)> subscriber);
    // From any thread.
    void report(WatchEvent event);
    // The reports of other threads that are still on their way, heard now: for the end, when
    // no event loop runs any more. On the stream's own thread.
    void deliverWaiting();

private:
    void deliver(WatchEvent event);

    const std::function<DateFields()> m_localNow;
    std::vector<std::function<void(const WatchEvent&)>> m_subscribers;
};
