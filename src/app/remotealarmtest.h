#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>
#include <string>

#include "outputs/alertmessage.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QThreadPool;
class RemoteAlarmFields;
struct TestSendResult;

// What the test of a channel needs of the main window.
struct RemoteAlarmTestServices {
    // The test message of this moment for a channel, with the captioned picture now.
    std::function<AlertMessage(AlertChannel)> message;
    std::string profile;
    // Runs the sends; waited for when the main window goes, so a send that outlives its
    // dialog still finds the application there to tell.
    QThreadPool* pool = nullptr;
};

// "Testnachricht senden" of one channel, and its outcome beside it: the message goes straight
// to the server with the values the fields hold now, saved or not, on a worker thread. A
// certificate the server showed that nothing vouches for is offered to be trusted; trusted,
// it goes into the channel's certificate field and the test is sent again.
class TestSendRow : public QWidget {
public:
    TestSendRow(AlertChannel channel, const RemoteAlarmFields& fields, QLineEdit* certificate,
                RemoteAlarmTestServices services);

private:
    void start();
    // On the main thread, while the row is still there.
    void finished(const TestSendResult& result);

    const AlertChannel m_channel;
    const RemoteAlarmFields& m_fields;
    QLineEdit* const m_certificate;
    const RemoteAlarmTestServices m_services;
    QPushButton* m_button = nullptr;
    QLabel* m_outcome = nullptr;
};
