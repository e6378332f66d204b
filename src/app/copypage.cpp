#include "app/copypage.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include "app/fingerprintrow.h"

namespace {

QString stateText(const std::optional<OutboxState>& state) {
    if (!state)
        return QStringLiteral("Kopie ist aus.");
    return QString::fromStdString(outboxStateText(*state));
}

}  // namespace

QWidget* copyPage(CopyFields& fields, const CopyPageServices& services,
                  const RemoteAlarmTestServices& test) {
    auto* page = new QWidget;
    auto* form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    form->addRow(fields.flag(
        "kopie", QStringLiteral("Bilder der Auslösungen und Videos auf einen Server kopieren"),
        &CopyOptions::on));
    QComboBox* protocol =
        fields.choice("kopieart", &CopyOptions::protocol,
                      {QStringLiteral("FTP"), QStringLiteral("FTPS"), QStringLiteral("SFTP")});
    form->addRow(QStringLiteral("Art:"), protocol);
    QLineEdit* server = fields.text("kopieserver", &CopyOptions::server);
    server->setPlaceholderText(QStringLiteral("bei FTP leer: der Server des Uploads"));
    form->addRow(QStringLiteral("Server:"), server);
    QSpinBox* port = fields.number("kopieport", &CopyOptions::port, 1, 65535);
    form->addRow(QStringLiteral("Port:"), port);
    // A port left at one protocol's usual follows the protocol chosen; one typed in stays.
    QObject::connect(protocol, &QComboBox::currentIndexChanged, port, [port](int chosen) {
        const bool sftp = chosen == static_cast<int>(CopyProtocol::Sftp);
        if (port->value() == (sftp ? kFtpPort : kSftpPort))
            port->setValue(sftp ? kSftpPort : kFtpPort);
    });
    form->addRow(QStringLiteral("Benutzer:"), fields.text("kopieuser", &CopyOptions::user));
    form->addRow(QStringLiteral("Passwort:"), fields.password("kopiepass", &CopyOptions::password));
    form->addRow(QStringLiteral("Ordner:"), fields.text("kopieordner", &CopyOptions::folder));
    QLineEdit* fingerprint = fields.text("kopieschluessel", &CopyOptions::fingerprint);
    addFingerprintRow(form, QStringLiteral("Zertifikat/Schlüssel:"), fingerprint,
                      QStringLiteral("keiner (wird beim Test angeboten)"));

    auto* state = new QLabel(stateText(services.state()));
    state->setObjectName(QStringLiteral("kopiezustand"));
    auto* stateRow = new QHBoxLayout;
    stateRow->addWidget(new QLabel(QStringLiteral("Warten:")));
    stateRow->addWidget(state, 1);
    auto* refresh = new QTimer(page);
    QObject::connect(refresh, &QTimer::timeout, state,
                     [state, &services] { state->setText(stateText(services.state())); });
    refresh->start(1000);

    const TestSendSetup setup{
        .channel = AlertChannel::CopyPicture,
        .button = QStringLiteral("Verbindung testen"),
        .name = QStringLiteral("kopie"),
        .done = "Datei geschrieben und gelöscht",
        .failed = "gescheitert",
        .credential = QStringLiteral("Zertifikat oder Schlüssel"),
        .sender = [&fields, &services]() -> std::unique_ptr<AlertSender> {
            return std::make_unique<CopySender>(services.target(fields.values()));
        },
        .server = [&fields] { return QString::fromStdString(fields.values().server); }};
    auto* whole = new QVBoxLayout(page);
    whole->addLayout(form);
    whole->addStretch();
    whole->addLayout(stateRow);
    whole->addWidget(new TestSendRow(setup, fingerprint, test));
    return page;
}
