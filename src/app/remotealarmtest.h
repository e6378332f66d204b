#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

#include "app/remotealarmfields.h"
#include "outputs/alertmessage.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QThreadPool;
struct TestSendResult;

// What one test is: its channel, its words and its sender.
struct TestSendSetup {
    AlertChannel channel = AlertChannel::Mail;
    QString button;
    // The start of its widgets' object names: "<name>test", "<name>ergebnis".
    QString name;
    // "zugestellt" and "nicht zugestellt", or what a success and a failure are called instead.
    std::string done;
    std::string failed;
    // What the server shows to be trusted: "Zertifikat" or "Schlüssel".
    QString credential;
    // The sender and the server's name with the values the fields hold now.
    std::function<std::unique_ptr<AlertSender>()> sender;
    std::function<QString()> server;
};

// The test of a remote alarm's channel, "Testnachricht senden".
TestSendSetup channelTest(AlertChannel channel, const RemoteAlarmFields& fields,
                          const std::string& profile);

// What the test of a channel needs of the main window.
struct RemoteAlarmTestServices {
    // The test message of this moment for a channel, with the captioned picture now.
    std::function<AlertMessage(AlertChannel)> message;
    std::string profile;
    // Runs the sends; waited for when the main window goes, so a send that outlives its
    // dialog still finds the application there to tell.
    QThreadPool* pool = nullptr;
};

// The test of one channel, and its outcome beside it: the message goes straight to the server
// with the values the fields hold now, saved or not, on a worker thread. A certificate or key
// the server showed that nothing vouches for is offered to be trusted; trusted, it goes into
// the channel's certificate field and the test is sent again.
class TestSendRow : public QWidget {
public:
    TestSendRow(TestSendSetup setup, QLineEdit* certificate, RemoteAlarmTestServices services);

private:
    void start();
    // On the main thread, while the row is still there.
    void finished(const TestSendResult& result);

    const TestSendSetup m_setup;
    QLineEdit* const m_certificate;
    const RemoteAlarmTestServices m_services;
    QPushButton* m_button = nullptr;
    QLabel* m_outcome = nullptr;
};
