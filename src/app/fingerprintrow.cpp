#include "app/fingerprintrow.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

void addFingerprintRow(QFormLayout* form, const QString& label, QLineEdit* fingerprint,
                       const QString& placeholder) {
    fingerprint->setReadOnly(true);
    fingerprint->setPlaceholderText(placeholder);
    fingerprint->setToolTip(fingerprint->text());
    QObject::connect(fingerprint, &QLineEdit::textChanged, fingerprint,
                     [fingerprint](const QString& text) { fingerprint->setToolTip(text); });
    auto* forget = new QPushButton(QStringLiteral("Vergessen"));
    forget->setObjectName(fingerprint->objectName() + QStringLiteral("vergessen"));
    forget->setAutoDefault(false);
    forget->setEnabled(!fingerprint->text().isEmpty());
    QObject::connect(forget, &QPushButton::clicked, fingerprint, &QLineEdit::clear);
    QObject::connect(fingerprint, &QLineEdit::textChanged, forget,
                     [forget](const QString& text) { forget->setEnabled(!text.isEmpty()); });
    auto* row = new QHBoxLayout;
    row->addWidget(fingerprint, 1);
    row->addWidget(forget);
    form->addRow(label, row);
}
