#pragma once

#include <QObject>

class QSocketNotifier;

// Tells when a minute of the wall clock begins, and at once when the clock is set (by hand, by
// the time service) or the machine wakes from a sleep that outlasted the minute: a timer on the
// real-time clock, where a timer of the main loop would count neither.
class WallClockMinutes : public QObject {
    Q_OBJECT

public:
    explicit WallClockMinutes(QObject* parent = nullptr);
    ~WallClockMinutes() override;

signals:
    void minuteBegan();

private:
    void arm();
    void onExpired();

    int m_timer = -1;
    QSocketNotifier* m_notifier = nullptr;
};
