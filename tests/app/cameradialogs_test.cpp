// The camera dialogs, answered as a user would while they are open.

#include "app/cameradialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QTimer>

#include <functional>
#include <map>
#include <string>

#include "media/cameracontrols.h"

namespace {

// Runs `answer` on the dialog once it is open.
void whenOpen(std::function<void(QWidget*)> answer) {
    QTimer::singleShot(0, [answer] { answer(QApplication::activeModalWidget()); });
}

void press(QWidget* dialog, QDialogButtonBox::StandardButton which) {
    dialog->findChild<QDialogButtonBox*>()->button(which)->click();
}

const std::vector<CameraFormat> kOffered{{320, 240, 30, 1}, {640, 480, 30, 1}, {640, 480, 15, 1}};

TEST(FormatDialog, ListsTheOfferedFormatsWithTheCurrentOneSelected) {
    QStringList shown;
    int selected = -1;
    whenOpen([&](QWidget* dialog) {
        auto* list = dialog->findChild<QListWidget*>();
        for (int row = 0; row < list->count(); ++row)
            shown.append(list->item(row)->text());
        selected = list->currentRow();
        list->setCurrentRow(2);
        press(dialog, QDialogButtonBox::Ok);
    });
    const auto chosen = chooseCameraFormat(nullptr, kOffered, kOffered[1]);
    EXPECT_EQ(shown, (QStringList{"320 × 240, 30 Bilder/s", "640 × 480, 30 Bilder/s",
                                  "640 × 480, 15 Bilder/s"}));
    EXPECT_EQ(selected, 1);
    EXPECT_EQ(chosen, kOffered[2]);
}

TEST(FormatDialog, CancelChoosesNothing) {
    whenOpen([](QWidget* dialog) {
        dialog->findChild<QListWidget*>()->setCurrentRow(0);
        press(dialog, QDialogButtonBox::Cancel);
    });
    EXPECT_EQ(chooseCameraFormat(nullptr, kOffered, std::nullopt), std::nullopt);
}

TEST(FormatDialog, NothingOfferedIsSaid) {
    QString text;
    whenOpen([&](QWidget* dialog) {
        auto* box = qobject_cast<QMessageBox*>(dialog);
        ASSERT_NE(box, nullptr);
        text = box->text();
        box->button(QMessageBox::Ok)->click();
    });
    EXPECT_EQ(chooseCameraFormat(nullptr, {}, std::nullopt), std::nullopt);
    EXPECT_EQ(text, "Die Kamera bietet keine Formate zur Auswahl an.");
}

// Controls that note what was set.
class NotedControls : public CameraControls {
public:
    std::vector<CameraControl> list() override {
        return {{"Brightness", 0, 255, 1, 128, 100, false, {}},
                {"Auto Exposure", 0, 1, 1, 1, 0, true, {}},
                {"Power Line Frequency", 0, 2, 1, 1, 2, false, {"Disabled", "50 Hz", "60 Hz"}}};
    }
    void set(std::size_t index, int value) override { values[index] = value; }
    std::map<std::size_t, int> values;
};

TEST(SourceDialog, ControlsApplyLiveAndStandardRestoresThem) {
    NotedControls controls;
    std::map<std::size_t, int> afterMoves;
    whenOpen([&](QWidget* dialog) {
        dialog->findChild<QSlider*>()->setValue(200);
        dialog->findChild<QCheckBox*>()->setChecked(true);
        dialog->findChild<QComboBox*>()->setCurrentIndex(0);
        afterMoves = controls.values;
        for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
            if (button->text() == "Standard")
                button->click();
        }
        press(dialog, QDialogButtonBox::Close);
    });
    adjustCameraControls(nullptr, controls);
    EXPECT_EQ(afterMoves, (std::map<std::size_t, int>{{0, 200}, {1, 1}, {2, 0}}));
    EXPECT_EQ(controls.values, (std::map<std::size_t, int>{{0, 128}, {1, 1}, {2, 1}}));
}

TEST(CompressionDialog, ChoosesCodecAndQuality) {
    whenOpen([](QWidget* dialog) {
        dialog->findChild<QComboBox*>()->setCurrentIndex(1);
        dialog->findChild<QSlider*>()->setValue(40);
        press(dialog, QDialogButtonBox::Ok);
    });
    const auto chosen = chooseClipCompression(nullptr, {});
    ASSERT_TRUE(chosen);
    EXPECT_EQ(chosen->codec, ClipCodec::Mpeg4);
    EXPECT_EQ(chosen->quality, 40);

    whenOpen([](QWidget* dialog) {
        dialog->findChild<QSlider*>()->setValue(10);
        press(dialog, QDialogButtonBox::Cancel);
    });
    EXPECT_EQ(chooseClipCompression(nullptr, {}), std::nullopt);
}

}  // namespace
