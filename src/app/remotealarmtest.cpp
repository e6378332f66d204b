#include "app/remotealarmtest.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QThreadPool>
#include <QUrl>

#include <memory>

#include "app/remotealarmfields.h"
#include "outputs/remotealarm.h"
#include "outputs/testsend.h"

namespace {

QString serverName(AlertChannel channel, const RemoteAlarmOptions& options) {
    switch (channel) {
        case AlertChannel::Mail:
            return QString::fromStdString(options.mailServer);
        case AlertChannel::Push:
            return QUrl(QString::fromStdString(options.pushUrl)).host();
        case AlertChannel::Mqtt:
            return QString::fromStdString(options.mqttServer);
        case AlertChannel::CopyPicture:
        case AlertChannel::CopyClip:
            break;  // the copy's own options
    }
    return {};
}

bool trusted(QWidget* parent, const QString& credential, const QString& server,
             const std::string& fingerprint) {
    QMessageBox question(QMessageBox::Question, credential,
                         QStringLiteral("%1 von %2 vertrauen?\n\nSHA-256-Fingerabdruck:\n%3")
                             .arg(credential, server, QString::fromStdString(fingerprint)),
                         QMessageBox::Yes | QMessageBox::No, parent);
    question.setDefaultButton(QMessageBox::No);
    return question.exec() == QMessageBox::Yes;
}

}  // namespace

TestSendSetup channelTest(AlertChannel channel, const RemoteAlarmFields& fields,
                          const std::string& profile) {
    return {.channel = channel,
            .button = QStringLiteral("Testnachricht senden"),
            .name = QString::fromLatin1(channelKey(channel)),
            .done = "zugestellt",
            .failed = "nicht zugestellt",
            .credential = QStringLiteral("Zertifikat"),
            .sender =
                [channel, &fields, profile] {
                    return makeAlertSender(channel, fields.values(), profile, SenderUse::Test);
                },
            .server = [channel, &fields] { return serverName(channel, fields.values()); }};
}

TestSendRow::TestSendRow(TestSendSetup setup, QLineEdit* certificate,
                         RemoteAlarmTestServices services)
    : m_setup(std::move(setup)), m_certificate(certificate), m_services(std::move(services)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_button = new QPushButton(m_setup.button);
    m_button->setObjectName(m_setup.name + QStringLiteral("test"));
    m_button->setAutoDefault(false);
    m_outcome = new QLabel;
    m_outcome->setObjectName(m_setup.name + QStringLiteral("ergebnis"));
    m_outcome->setWordWrap(true);
    m_outcome->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_button);
    layout->addWidget(m_outcome, 1);
    connect(m_button, &QPushButton::clicked, this, &TestSendRow::start);
}

void TestSendRow::start() {
    m_button->setEnabled(false);
    m_outcome->setText(QStringLiteral("wird gesendet …"));
    // Shared only because the pool copies its task; the worker alone uses them.
    auto sender = std::shared_ptr<AlertSender>(m_setup.sender());
    auto message = std::make_shared<const AlertMessage>(m_services.message(m_setup.channel));
    // The dialog may close while the server is asked: the answer then finds no row and is
    // dropped. The pointer is only read on the main thread.
    QPointer<TestSendRow> row(this);
    m_services.pool->start([sender, message, row] {
        const TestSendResult result = sendTestMessage(*sender, *message);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [row, result] {
                if (row)
                    row->finished(result);
            },
            Qt::QueuedConnection);
    });
}

void TestSendRow::finished(const TestSendResult& result) {
    m_outcome->setText(QString::fromStdString(testSendText(result, m_setup.done, m_setup.failed)));
    m_button->setEnabled(true);
    const std::string& fingerprint = result.delivery.unknownCertificate;
    if (fingerprint.empty())
        return;
    // The question waits in an event loop of its own, in which the dialog could be closed.
    const QPointer<TestSendRow> row(this);
    if (!trusted(window(), m_setup.credential, m_setup.server(), fingerprint) || !row)
        return;
    m_certificate->setText(QString::fromStdString(fingerprint));
    start();
}
