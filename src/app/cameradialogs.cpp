#include "app/cameradialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include <functional>

#include "app/dialogframe.h"
#include "media/cameracontrols.h"

namespace {

// A slider with its value beside it.
QWidget* sliderWithValue(const CameraControl& control, std::function<void(int)> changed) {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* slider = new QSlider(Qt::Horizontal);
    slider->setRange(control.minimum, control.maximum);
    slider->setSingleStep(control.step);
    slider->setValue(control.value);
    slider->setMinimumWidth(200);
    auto* value = new QLabel(QString::number(control.value));
    value->setMinimumWidth(40);
    QObject::connect(slider, &QSlider::valueChanged, value,
                     [value, changed = std::move(changed)](int newValue) {
                         value->setNum(newValue);
                         changed(newValue);
                     });
    layout->addWidget(slider);
    layout->addWidget(value);
    return row;
}

}  // namespace

std::optional<CameraFormat> chooseCameraFormat(QWidget* parent,
                                               const std::vector<CameraFormat>& offered,
                                               const std::optional<CameraFormat>& current) {
    if (offered.empty()) {
        QMessageBox box(QMessageBox::Information, QStringLiteral("Videoformat"),
                        QStringLiteral("Die Kamera bietet keine Formate zur Auswahl an."),
                        QMessageBox::Ok, parent);
        box.exec();
        return std::nullopt;
    }
    QDialog dialog(parent);
    prepareModalDialog(dialog, QStringLiteral("Videoformat"));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(QStringLiteral("Bildgröße und Bildrate der Kamera:")));
    auto* list = new QListWidget;
    for (const CameraFormat& format : offered) {
        list->addItem(QString::fromStdString(formatText(format)));
        if (current && format == *current)
            list->setCurrentRow(list->count() - 1);
    }
    layout->addWidget(list);
    layout->addWidget(okAndCancelButtons(dialog));
    QObject::connect(list, &QListWidget::itemDoubleClicked, &dialog, &QDialog::accept);
    if (dialog.exec() != QDialog::Accepted || list->currentRow() < 0)
        return std::nullopt;
    return offered[static_cast<std::size_t>(list->currentRow())];
}

void adjustCameraControls(QWidget* parent, CameraControls& controls) {
    QDialog dialog(parent);
    prepareModalDialog(dialog, QStringLiteral("Videoquelle"));
    auto* layout = new QVBoxLayout(&dialog);
    const std::vector<CameraControl> list = controls.list();
    if (list.empty())
        layout->addWidget(new QLabel(QStringLiteral("Die Kamera hat keine Einstellungen.")));
    auto* form = new QFormLayout;
    // Each control's widget, so "Standard" can set it back (which also applies it).
    std::vector<std::function<void()>> resets;
    for (std::size_t index = 0; index < list.size(); ++index) {
        const CameraControl& control = list[index];
        auto apply = [&controls, index](int value) { controls.set(index, value); };
        QWidget* editor = nullptr;
        if (control.isSwitch) {
            auto* box = new QCheckBox;
            box->setChecked(control.value != 0);
            QObject::connect(box, &QCheckBox::toggled, box,
                             [apply](bool on) { apply(on ? 1 : 0); });
            resets.push_back([box, control] { box->setChecked(control.defaultValue != 0); });
            editor = box;
        } else if (!control.choices.empty()) {
            auto* menu = new QComboBox;
            for (const std::string& choice : control.choices)
                menu->addItem(QString::fromStdString(choice));
            menu->setCurrentIndex(control.value - control.minimum);
            QObject::connect(menu, &QComboBox::currentIndexChanged, menu,
                             [apply, control](int choice) { apply(control.minimum + choice); });
            resets.push_back(
                [menu, control] { menu->setCurrentIndex(control.defaultValue - control.minimum); });
            editor = menu;
        } else {
            QWidget* row = sliderWithValue(control, apply);
            auto* slider = row->findChild<QSlider*>();
            resets.push_back([slider, control] { slider->setValue(control.defaultValue); });
            editor = row;
        }
        form->addRow(QString::fromStdString(control.name) + ':', editor);
    }
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("Schließen"));
    if (!list.empty()) {
        QPushButton* standard =
            buttons->addButton(QStringLiteral("Standard"), QDialogButtonBox::ResetRole);
        QObject::connect(standard, &QPushButton::clicked, &dialog, [&resets] {
            for (const auto& reset : resets)
                reset();
        });
    }
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    dialog.exec();
}

std::optional<ClipCompression> chooseClipCompression(QWidget* parent,
                                                     const ClipCompression& current) {
    QDialog dialog(parent);
    prepareModalDialog(dialog, QStringLiteral("Videokompression"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* form = new QFormLayout;
    auto* codec = new QComboBox;
    codec->addItem(QStringLiteral("Motion-JPEG (jeder Player)"));
    codec->addItem(QStringLiteral("MPEG-4 (DivX-kompatibel, kleinere Dateien)"));
    codec->setCurrentIndex(current.codec == ClipCodec::Mpeg4 ? 1 : 0);
    form->addRow(QStringLiteral("Kompression:"), codec);
    CameraControl quality;
    quality.name = "Qualität";
    quality.minimum = 1;
    quality.maximum = 100;
    quality.defaultValue = 85;
    quality.value = current.quality;
    QWidget* qualityRow = sliderWithValue(quality, [](int) {});
    form->addRow(QStringLiteral("Qualität:"), qualityRow);
    layout->addLayout(form);
    layout->addWidget(okAndCancelButtons(dialog));
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return ClipCompression{codec->currentIndex() == 1 ? ClipCodec::Mpeg4 : ClipCodec::MotionJpeg,
                           qualityRow->findChild<QSlider*>()->value()};
}
