#include "app/advanceddialog.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/dialogframe.h"
#include "detection/blockmask.h"

namespace {

QLabel* helpLine(const QString& text) {
    auto* help = new QLabel(text);
    help->setWordWrap(true);
    help->setIndent(20);
    help->setForegroundRole(QPalette::PlaceholderText);
    return help;
}

QString maskSummary(const std::string& mask) {
    const std::size_t ignored = maskFromText(mask).count();
    if (ignored == 0)
        return QStringLiteral("Erkennungsmaske: keine");
    return QStringLiteral("Erkennungsmaske: %1 von %2 Blöcken werden nicht beobachtet")
        .arg(ignored)
        .arg(kBlockCount);
}

}  // namespace

std::optional<AdvancedOptions> editAdvancedOptions(QWidget* parent,
                                                   const AdvancedOptions& current) {
    QDialog dialog(parent);
    prepareModalDialog(dialog, QStringLiteral("Erweiterte Einstellungen"));
    auto* layout = new QVBoxLayout(&dialog);
    AdvancedOptions chosen = current;

    auto* light = new QCheckBox(QStringLiteral("Lichtausgleich"));
    light->setChecked(current.lightCompensation);
    layout->addWidget(light);
    layout->addWidget(helpLine(
        QStringLiteral("Wird das ganze Bild heller oder dunkler (Licht an oder aus, Wolken, die "
                       "Belichtung der Kamera), löst das nicht aus; wer sich im Bild bewegt, "
                       "löst weiter aus.")));

    auto* alarmRow = new QHBoxLayout;
    alarmRow->addWidget(new QLabel(QStringLiteral("Kamera-Alarm nach:")));
    auto* alarm = new QSpinBox;
    alarm->setRange(0, kMaxCameraAlarmSeconds);
    alarm->setSuffix(QStringLiteral(" s"));
    alarm->setSpecialValueText(QStringLiteral("aus"));
    alarm->setValue(current.cameraAlarmSeconds);
    alarmRow->addWidget(alarm);
    alarmRow->addStretch();
    layout->addLayout(alarmRow);
    layout->addWidget(helpLine(
        QStringLiteral("Liefert die Kamera so lange kein Bild, gibt es einmal Alarm mit "
                       "Hinweiston und Sounddatei, wie eingestellt; gezählt und aufgezeichnet "
                       "wird nicht.")));

    auto* maskRow = new QHBoxLayout;
    auto* maskState = new QLabel(maskSummary(current.mask));
    auto* clearMask = new QPushButton(QStringLiteral("Maske löschen"));
    clearMask->setAutoDefault(false);
    clearMask->setEnabled(!current.mask.empty());
    QObject::connect(clearMask, &QPushButton::clicked, &dialog, [&chosen, maskState, clearMask] {
        chosen.mask.clear();
        maskState->setText(maskSummary(chosen.mask));
        clearMask->setEnabled(false);
    });
    maskRow->addWidget(maskState);
    maskRow->addStretch();
    maskRow->addWidget(clearMask);
    layout->addLayout(maskRow);
    layout->addWidget(helpLine(QStringLiteral(
        "Blöcke, die nicht beobachtet werden, zählen nie als verändert; der Auslöser-Prozentsatz "
        "gilt für die übrigen.")));

    layout->addWidget(okAndCancelButtons(dialog));
    dialog.setMinimumWidth(420);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    chosen.lightCompensation = light->isChecked();
    chosen.cameraAlarmSeconds = alarm->value();
    return chosen;
}
