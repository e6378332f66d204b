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
    }
    return {};
}

bool trusted(QWidget* parent, const QString& server, const std::string& fingerprint) {
    QMessageBox question(
        QMessageBox::Question, QStringLiteral("Zertifikat"),
        QStringLiteral("Zertifikat von %1 vertrauen?\n\nSHA-256-Fingerabdruck:\n%2")
            .arg(server, QString::fromStdString(fingerprint)),
        QMessageBox::Yes | QMessageBox::No, parent);
    question.setDefaultButton(QMessageBox::No);
    return question.exec() == QMessageBox::Yes;
}

}  // namespace

TestSendRow::TestSendRow(AlertChannel channel, const RemoteAlarmFields& fields,
                         QLineEdit* certificate, RemoteAlarmTestServices services)
    : m_channel(channel),
      m_fields(fields),
      m_certificate(certificate),
      m_services(std::move(services)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_button = new QPushButton(QStringLiteral("Testnachricht senden"));
    m_button->setObjectName(QString::fromLatin1(channelKey(channel)) + QStringLiteral("test"));
    m_button->setAutoDefault(false);
    m_outcome = new QLabel;
    m_outcome->setObjectName(QString::fromLatin1(channelKey(channel)) + QStringLiteral("ergebnis"));
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
    auto sender = std::shared_ptr<AlertSender>(
        makeAlertSender(m_channel, m_fields.values(), m_services.profile, SenderUse::Test));
    auto message = std::make_shared<const AlertMessage>(m_services.message(m_channel));
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
    m_outcome->setText(QString::fromStdString(testSendText(result)));
    m_button->setEnabled(true);
    const std::string& fingerprint = result.delivery.unknownCertificate;
    if (fingerprint.empty())
        return;
    // The question waits in an event loop of its own, in which the dialog could be closed.
    const QPointer<TestSendRow> row(this);
    if (!trusted(window(), serverName(m_channel, m_fields.values()), fingerprint) || !row)
        return;
    m_certificate->setText(QString::fromStdString(fingerprint));
    start();
}
