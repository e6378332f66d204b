#include "app/remotealarmdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "app/dialogframe.h"
#include "app/fingerprintrow.h"
#include "app/remotealarmfields.h"

namespace {

using Options = RemoteAlarmOptions;

// A server's certificate the user chose to trust.
QLineEdit* addCertificateRow(QFormLayout* form, RemoteAlarmFields& fields, const char* key,
                             std::string Options::*member) {
    QLineEdit* fingerprint = fields.text(key, member);
    addFingerprintRow(form, QStringLiteral("Zertifikat:"), fingerprint,
                      QStringLiteral("keins (die Zertifizierungsstellen des Systems)"));
    return fingerprint;
}

// A channel's page: its switch and fields on the left, its events on the right, its test
// below.
QWidget* channelPage(AlertChannel channel, QFormLayout* form, QLineEdit* certificate,
                     const RemoteAlarmFields& fields, RemoteAlarmEventFields& events,
                     const RemoteAlarmDialogServices& services) {
    auto* page = new QWidget;
    form->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    auto* columns = new QHBoxLayout;
    columns->addLayout(form, 1);
    columns->addSpacing(12);
    auto* eventColumn = new QVBoxLayout;
    eventColumn->addWidget(events.box(channel));
    eventColumn->addStretch();
    columns->addLayout(eventColumn);
    auto* whole = new QVBoxLayout(page);
    whole->addLayout(columns);
    whole->addStretch();
    whole->addWidget(new TestSendRow(channelTest(channel, fields, services.test.profile),
                                     certificate, services.test));
    return page;
}

QWidget* mailPage(RemoteAlarmFields& fields, RemoteAlarmEventFields& events,
                  const RemoteAlarmDialogServices& services) {
    auto* form = new QFormLayout;
    form->addRow(fields.flag("mail", QStringLiteral("Alarm per E-Mail senden"), &Options::mail));
    form->addRow(QStringLiteral("SMTP-Server:"), fields.text("mailserver", &Options::mailServer));
    form->addRow(QStringLiteral("Port:"),
                 fields.number("mailport", &Options::mailPort, 1, kMaxPort));
    form->addRow(QStringLiteral("Sicherheit:"),
                 fields.choice("mailsicherheit", &Options::mailSecurity,
                               {QStringLiteral("keine"), QStringLiteral("STARTTLS"),
                                QStringLiteral("SMTPS")}));
    form->addRow(QStringLiteral("Benutzer:"), fields.text("mailuser", &Options::mailUser));
    form->addRow(QStringLiteral("Passwort:"), fields.password("mailpass", &Options::mailPassword));
    form->addRow(QStringLiteral("Absender:"), fields.text("mailabsender", &Options::mailSender));
    QLineEdit* recipients = fields.text("mailempfaenger", &Options::mailRecipients);
    recipients->setPlaceholderText(QStringLiteral("mehrere durch Kommas getrennt"));
    form->addRow(QStringLiteral("Empfänger:"), recipients);
    form->addRow(QStringLiteral("Video anhängen bis:"),
                 fields.number("mailvideo", &Options::mailVideoMb, 0, kMaxMailVideoMb,
                               QStringLiteral("MB"), QStringLiteral("nie")));
    QLineEdit* certificate =
        addCertificateRow(form, fields, "mailzertifikat", &Options::mailCertificate);
    return channelPage(AlertChannel::Mail, form, certificate, fields, events, services);
}

QWidget* pushPage(RemoteAlarmFields& fields, RemoteAlarmEventFields& events,
                  const RemoteAlarmDialogServices& services) {
    auto* form = new QFormLayout;
    form->addRow(
        fields.flag("push", QStringLiteral("Alarm als Push-Nachricht senden"), &Options::push));
    QLineEdit* url = fields.text("pushurl", &Options::pushUrl);
    url->setPlaceholderText(QStringLiteral("https://ntfy.sh/ein-geheimes-thema"));
    form->addRow(QStringLiteral("URL:"), url);
    form->addRow(QStringLiteral("Zugangstoken:"),
                 fields.password("pushtoken", &Options::pushToken));
    form->addRow(QStringLiteral("Form:"),
                 fields.choice("pushformat", &Options::pushFormat,
                               {QStringLiteral("ntfy"), QStringLiteral("JSON")}));
    QLineEdit* certificate =
        addCertificateRow(form, fields, "pushzertifikat", &Options::pushCertificate);
    return channelPage(AlertChannel::Push, form, certificate, fields, events, services);
}

QWidget* mqttPage(RemoteAlarmFields& fields, RemoteAlarmEventFields& events,
                  const RemoteAlarmDialogServices& services) {
    auto* form = new QFormLayout;
    form->addRow(
        fields.flag("mqtt", QStringLiteral("Alarm an einen MQTT-Broker senden"), &Options::mqtt));
    form->addRow(QStringLiteral("Broker:"), fields.text("mqttserver", &Options::mqttServer));
    form->addRow(QStringLiteral("Port:"),
                 fields.number("mqttport", &Options::mqttPort, 1, kMaxPort));
    form->addRow(QString(),
                 fields.flag("mqtttls", QStringLiteral("verschlüsselt (TLS)"), &Options::mqttTls));
    form->addRow(QStringLiteral("Benutzer:"), fields.text("mqttuser", &Options::mqttUser));
    form->addRow(QStringLiteral("Passwort:"), fields.password("mqttpass", &Options::mqttPassword));
    form->addRow(QStringLiteral("Thema:"), fields.text("mqttthema", &Options::mqttTopic));
    QLineEdit* certificate =
        addCertificateRow(form, fields, "mqttzertifikat", &Options::mqttCertificate);
    return channelPage(AlertChannel::Mqtt, form, certificate, fields, events, services);
}

QString outboxText(const std::optional<OutboxState>& state) {
    if (!state)
        return QStringLiteral("Kein Fernalarm eingeschaltet.");
    return QString::fromStdString(outboxStateText(*state));
}

// What holds for all channels, and what waits in the outbox now.
QGroupBox* sharedBox(RemoteAlarmFields& fields, const RemoteAlarmDialogServices& services,
                     QDialog& dialog) {
    auto* box = new QGroupBox(QStringLiteral("Für alle Kanäle"));
    auto* numbers = new QHBoxLayout;
    numbers->addWidget(new QLabel(QStringLiteral("Abstand zweier Auslösungsmeldungen:")));
    numbers->addWidget(fields.number("abstand", &Options::intervalSeconds, 0,
                                     kMaxAlarmIntervalSeconds, QStringLiteral("s"),
                                     QStringLiteral("keiner")));
    numbers->addSpacing(24);
    numbers->addWidget(new QLabel(QStringLiteral("Ausgang höchstens:")));
    numbers->addWidget(
        fields.number("ausgang", &Options::outboxMb, 1, kMaxOutboxMb, QStringLiteral("MB")));
    numbers->addStretch();
    auto* state = new QLabel(outboxText(services.outboxState()));
    state->setObjectName(QStringLiteral("ausgangzustand"));
    auto* stateRow = new QHBoxLayout;
    stateRow->addWidget(new QLabel(QStringLiteral("Im Ausgang:")));
    stateRow->addWidget(state, 1);
    auto* layout = new QVBoxLayout(box);
    layout->addLayout(numbers);
    layout->addLayout(stateRow);
    auto* refresh = new QTimer(&dialog);
    QObject::connect(refresh, &QTimer::timeout, state,
                     [state, &services] { state->setText(outboxText(services.outboxState())); });
    refresh->start(1000);
    return box;
}

}  // namespace

std::optional<RemoteAlarmChoice> editRemoteAlarm(QWidget* parent, const RemoteAlarmChoice& current,
                                                 const RemoteAlarmDialogServices& services) {
    // Before the dialog, so that they outlive its widgets, which read them to the end.
    RemoteAlarmFields fields(current.options);
    RemoteAlarmEventFields eventFields(current.events);
    CopyFields copyFields(current.copy);
    QDialog dialog(parent);
    prepareModalDialog(dialog, QStringLiteral("Fernalarm"));
    auto* pages = new QTabWidget;
    pages->addTab(mailPage(fields, eventFields, services), QStringLiteral("E-Mail"));
    pages->addTab(pushPage(fields, eventFields, services), QStringLiteral("Push"));
    pages->addTab(mqttPage(fields, eventFields, services), QStringLiteral("MQTT"));
    pages->addTab(copyPage(copyFields, services.copy, services.test), QStringLiteral("Kopie"));
    auto* whole = new QVBoxLayout(&dialog);
    whole->addWidget(pages);
    whole->addWidget(sharedBox(fields, services, dialog));
    whole->addWidget(okAndCancelButtons(dialog));
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return RemoteAlarmChoice{fields.values(), eventFields.values(), copyFields.values()};
}
