#include "app/advanceddialog.h"

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/dialogframe.h"
#include "detection/blockmask.h"

namespace {

// Help is broken into lines of at most this many characters here: a label that wraps by itself
// is given too little height in a dialog that sizes itself, and its last lines are cut off.
constexpr qsizetype kHelpLineLength = 56;

QString brokenIntoLines(const QString& text) {
    QString lines;
    qsizetype lineLength = 0;
    for (const QString& word : text.split(QLatin1Char(' '))) {
        if (lineLength > 0 && lineLength + 1 + word.size() > kHelpLineLength) {
            lines += QLatin1Char('\n');
            lineLength = 0;
        } else if (lineLength > 0) {
            lines += QLatin1Char(' ');
            ++lineLength;
        }
        lines += word;
        lineLength += word.size();
    }
    return lines;
}

QLabel* helpLine(const QString& text) {
    auto* help = new QLabel(brokenIntoLines(text));
    help->setIndent(20);
    help->setForegroundRole(QPalette::PlaceholderText);
    return help;
}

// A row with a label and a number with its unit, 0 shown as `none`; named as its key.
QSpinBox* addNumberRow(QVBoxLayout* layout, const QString& label, const char* key, int maximum,
                       int value, const QString& unit, const QString& none) {
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(label));
    auto* number = new QSpinBox;
    number->setObjectName(QLatin1String(key));
    number->setRange(0, maximum);
    number->setSuffix(QLatin1Char(' ') + unit);
    number->setSpecialValueText(none);
    number->setValue(value);
    row->addWidget(number);
    row->addStretch();
    layout->addLayout(row);
    return number;
}

// A check box named as its key.
QCheckBox* addCheckBox(QVBoxLayout* layout, const QString& text, const char* key, bool checked) {
    auto* box = new QCheckBox(text);
    box->setObjectName(QLatin1String(key));
    box->setChecked(checked);
    layout->addWidget(box);
    return box;
}

QSpinBox* addSecondsRow(QVBoxLayout* layout, const QString& label, const char* key, int maximum,
                        int value) {
    return addNumberRow(layout, label, key, maximum, value, QStringLiteral("s"),
                        QStringLiteral("aus"));
}

QString maskSummary(const std::string& mask) {
    const std::size_t ignored = maskFromText(mask).count();
    if (ignored == 0)
        return QStringLiteral("Erkennungsmaske: keine");
    return QStringLiteral("Erkennungsmaske: %1 von %2 Blöcken werden nicht beobachtet")
        .arg(ignored)
        .arg(kBlockCount);
}

// Beside the live picture as far as the screen has room, so that its wash stays in sight.
void placeBeside(QDialog& dialog, const QWidget& livePicture) {
    dialog.adjustSize();
    const QRect screen = livePicture.screen()->availableGeometry();
    QRect place(livePicture.mapToGlobal(QPoint(livePicture.width() + 8, 0)), dialog.size());
    place.moveRight(std::min(place.right(), screen.right()));
    place.moveBottom(std::min(place.bottom(), screen.bottom()));
    dialog.move(place.topLeft());
}

// The fields of the dialog, read when it is accepted.
struct Fields {
    QComboBox* reference = nullptr;
    QSpinBox* backgroundTime = nullptr;
    QCheckBox* differences = nullptr;
    QCheckBox* light = nullptr;
    QSpinBox* preTrigger = nullptr;
    QSpinBox* storageLimit = nullptr;
    QSpinBox* alarm = nullptr;
    QCheckBox* notification = nullptr;
    QCheckBox* autostart = nullptr;
};

// The reference and its time, and whether the wash shows.
void addReferenceRows(QVBoxLayout* layout, const AdvancedOptions& current,
                      bool showBlockDifferences, Fields& fields) {
    auto* referenceRow = new QHBoxLayout;
    referenceRow->addWidget(new QLabel(QStringLiteral("Vergleich mit:")));
    fields.reference = new QComboBox;
    fields.reference->setObjectName(QStringLiteral("referenz"));
    fields.reference->addItems(
        {QStringLiteral("dem vorigen Bild"), QStringLiteral("einem Hintergrundbild")});
    fields.reference->setCurrentIndex(current.backgroundReference ? 1 : 0);
    referenceRow->addWidget(fields.reference);
    referenceRow->addStretch();
    layout->addLayout(referenceRow);
    QSpinBox* backgroundTime =
        addNumberRow(layout, QStringLiteral("Hintergrund folgt dem Bild in:"), "referenzzeit",
                     kMaxBackgroundSeconds, current.backgroundSeconds, QStringLiteral("s"), {});
    backgroundTime->setMinimum(kMinBackgroundSeconds);
    backgroundTime->setEnabled(current.backgroundReference);
    QObject::connect(fields.reference, &QComboBox::currentIndexChanged, backgroundTime,
                     [backgroundTime](int index) { backgroundTime->setEnabled(index == 1); });
    fields.backgroundTime = backgroundTime;
    layout->addWidget(helpLine(QStringLiteral(
        "Mit dem vorigen Bild verglichen fällt auf, was sich schnell bewegt. Das Hintergrundbild "
        "mittelt die Bilder der letzten Sekunden: so fällt auch auf, wer sich langsam oder weit "
        "weg bewegt; was lange verändert bleibt (ein abgestelltes Auto), wird in etwa dieser "
        "Zeit Teil des Hintergrunds.")));

    fields.differences = addCheckBox(layout, QStringLiteral("Blockunterschiede anzeigen"),
                                     "blockunterschiede", showBlockDifferences);
    layout->addWidget(helpLine(QStringLiteral(
        "Solange dieses Fenster offen ist, und danach mit diesem Haken, färbt das Live-Bild jeden "
        "Block nach seinem Unterschied zur Referenz: grün unter der Empfindlichkeit, gelb bis "
        "rot darüber. Wird nicht gespeichert.")));
}

// The state of the mask, and its clearing, which goes into `chosen` at once.
void addMaskRow(QVBoxLayout* layout, QDialog& dialog, AdvancedOptions& chosen) {
    auto* maskRow = new QHBoxLayout;
    auto* maskState = new QLabel(maskSummary(chosen.mask));
    auto* clearMask = new QPushButton(QStringLiteral("Maske löschen"));
    clearMask->setAutoDefault(false);
    clearMask->setEnabled(!chosen.mask.empty());
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
}

// What is detected.
QGroupBox* detectionColumn(QDialog& dialog, AdvancedOptions& chosen, bool showBlockDifferences,
                           Fields& fields) {
    auto* column = new QGroupBox(QStringLiteral("Erkennung"));
    auto* layout = new QVBoxLayout(column);
    addReferenceRows(layout, chosen, showBlockDifferences, fields);
    fields.light = addCheckBox(layout, QStringLiteral("Lichtausgleich"), "lichtausgleich",
                               chosen.lightCompensation);
    layout->addWidget(helpLine(
        QStringLiteral("Wird das ganze Bild heller oder dunkler (Licht an oder aus, Wolken, die "
                       "Belichtung der Kamera), löst das nicht aus; wer sich im Bild bewegt, "
                       "löst weiter aus.")));
    addMaskRow(layout, dialog, chosen);
    layout->addStretch();
    return column;
}

// What follows a trigger.
QGroupBox* afterTriggerColumn(const AdvancedOptions& current, Fields& fields) {
    auto* column = new QGroupBox(QStringLiteral("Videos und Alarm"));
    auto* layout = new QVBoxLayout(column);
    fields.preTrigger = addSecondsRow(layout, QStringLiteral("Vorlauf der Videos:"), "vorlauf",
                                      kMaxPreTriggerSeconds, current.preTriggerSeconds);
    layout->addWidget(helpLine(
        QStringLiteral("Ein Video beginnt so viele Sekunden vor dem Auslösen. Dafür wird im "
                       "Aufzeichnungs-Modus laufend aufgenommen (mit Ton, wenn eingestellt) und "
                       "das Letzte im Speicher behalten.")));

    fields.storageLimit = addNumberRow(layout, QStringLiteral("Speichergrenze der Videos:"),
                                       "speichergrenze", kMaxStorageLimitMb, current.storageLimitMb,
                                       QStringLiteral("MB"), QStringLiteral("keine"));
    layout->addWidget(helpLine(
        QStringLiteral("Vor und nach jedem Video werden die ältesten Videos gelöscht, bis alle "
                       "zusammen nicht mehr als die Grenze belegen; das neueste bleibt immer. "
                       "Bei weniger als 200 MB freiem Platz beginnt kein Video.")));

    fields.alarm = addSecondsRow(layout, QStringLiteral("Kamera-Alarm nach:"), "kameraalarm",
                                 kMaxCameraAlarmSeconds, current.cameraAlarmSeconds);
    layout->addWidget(helpLine(
        QStringLiteral("Liefert die Kamera so lange kein Bild, gibt es einmal Alarm mit "
                       "Hinweiston und Sounddatei, wie eingestellt; gezählt und aufgezeichnet "
                       "wird nicht.")));

    fields.notification = addCheckBox(layout, QStringLiteral("Desktop-Benachrichtigung"),
                                      "benachrichtigung", current.desktopNotification);
    layout->addWidget(helpLine(
        QStringLiteral("Beim Auslösen meldet der Desktop „Sentello: Bewegung erkannt“ mit dem "
                       "Bild des Augenblicks, höchstens alle 10 Sekunden einmal.")));

    fields.autostart = addCheckBox(layout, QStringLiteral("Beim Anmelden starten"), "autostart",
                                   current.autostart);
    layout->addWidget(helpLine(
        QStringLiteral("Nach dem Anmelden überwacht Sentello von selbst weiter: mit der Kamera und "
                       "dem Aufzeichnungs-Modus, wie sie zuletzt waren, ohne Kameraauswahl.")));
    layout->addStretch();
    return column;
}

}  // namespace

std::optional<AdvancedOptions> editAdvancedOptions(QWidget* parent, const QWidget& livePicture,
                                                   const AdvancedOptions& current,
                                                   bool& showBlockDifferences) {
    QDialog dialog(parent);
    prepareModalDialog(dialog, QStringLiteral("Erweiterte Einstellungen"));
    AdvancedOptions chosen = current;
    Fields fields;
    auto* columns = new QHBoxLayout;
    columns->addWidget(detectionColumn(dialog, chosen, showBlockDifferences, fields));
    columns->addWidget(afterTriggerColumn(current, fields));
    auto* whole = new QVBoxLayout(&dialog);
    whole->addLayout(columns);
    whole->addWidget(okAndCancelButtons(dialog));
    placeBeside(dialog, livePicture);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    chosen.preTriggerSeconds = fields.preTrigger->value();
    chosen.lightCompensation = fields.light->isChecked();
    chosen.cameraAlarmSeconds = fields.alarm->value();
    chosen.storageLimitMb = fields.storageLimit->value();
    chosen.desktopNotification = fields.notification->isChecked();
    chosen.autostart = fields.autostart->isChecked();
    chosen.backgroundReference = fields.reference->currentIndex() == 1;
    chosen.backgroundSeconds = fields.backgroundTime->value();
    showBlockDifferences = fields.differences->isChecked();
    return chosen;
}
