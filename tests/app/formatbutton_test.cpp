// The button "Format" of the main window with a real camera: the list shows what the running
// source delivers, the current format selected.

#include "app/mainwindow.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include "../support/testfootage.h"
#include "../tempfolder.h"
#include "app/gadgettable.h"
#include "media/camera.h"

namespace {

struct ShownList {
    QStringList lines;
    int selected = -1;
};

// Clicks "Format", notes the list and cancels.
ShownList formatList(MainWindow& window) {
    ShownList shown;
    QTimer::singleShot(0, [&shown] {
        QWidget* dialog = QApplication::activeModalWidget();
        ASSERT_NE(dialog, nullptr);
        auto* list = dialog->findChild<QListWidget*>();
        ASSERT_NE(list, nullptr);
        for (int row = 0; row < list->count(); ++row)
            shown.lines.append(list->item(row)->text());
        shown.selected = list->currentRow();
        dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->click();
    });
    window.gadgets().as<QPushButton>(Gadget::formatButton)->click();
    return shown;
}

class FormatButtonTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(loadCaptureLibrary());
        m_window.createGadgets(m_camera, (m_folder / "Sentello.prefs").string(),
                               m_folder.path().string() + "/");
    }

    TempFolder m_folder;
    DetectionState m_state;
    Camera m_camera;
    MainWindow m_window{m_state};
};

TEST_F(FormatButtonTest, FootageOffersItsOwnFormatSelected) {
    const std::string footage = (m_folder / "footage.avi").string();
    ASSERT_NO_FATAL_FAILURE(writeFootage(footage, "jpegenc"));
    ASSERT_TRUE(m_camera.connectSource(sourceGiven(footage)));
    const ShownList shown = formatList(m_window);
    EXPECT_EQ(shown.lines, QStringList{"160 × 120, 30 Bilder/s"});
    EXPECT_EQ(shown.selected, 0);
}

TEST_F(FormatButtonTest, TestSourceHasItsCurrentFormatSelected) {
    ASSERT_TRUE(m_camera.connectSource(
        {"test", "videotestsrc is-live=true ! video/x-raw,width=320,height=240", {}}));
    const ShownList shown = formatList(m_window);
    // The eight common rates of the one size the description allows.
    EXPECT_EQ(shown.lines.size(), 8);
    ASSERT_GE(shown.selected, 0);
    EXPECT_EQ(shown.lines[shown.selected], "320 × 240, 30 Bilder/s");
}

}  // namespace
