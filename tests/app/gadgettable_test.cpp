#include "app/gadgettable.h"

#include <QLineEdit>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

// The generic operations that the settings and the video list reach gadgets through.
TEST(GadgetTable, ListRowsAreAddedReadSelectedAndRemoved) {
    QWidget window;
    GadgetTable g(&window);
    EXPECT_EQ(g.countItems(Gadget::videoList), 0);
    EXPECT_EQ(g.state(Gadget::videoList), -1);
    g.addItem(Gadget::videoList, "/home/a/Video_Sentello_1.avi\n04.03.2011 21:15:03");
    g.addItem(Gadget::videoList, "/home/a/Video_Sentello_2.avi\n05.03.2011 08:00:00");
    EXPECT_EQ(g.countItems(Gadget::videoList), 2);
    EXPECT_EQ(g.itemText(Gadget::videoList, 1),
              "/home/a/Video_Sentello_2.avi\n05.03.2011 08:00:00");
    EXPECT_EQ(g.text(Gadget::videoList), "");

    g.setState(Gadget::videoList, 1);
    EXPECT_EQ(g.state(Gadget::videoList), 1);
    EXPECT_EQ(g.text(Gadget::videoList), "/home/a/Video_Sentello_2.avi");
    g.setState(Gadget::videoList, -1);
    EXPECT_EQ(g.state(Gadget::videoList), -1);

    g.removeItem(Gadget::videoList, 0);
    EXPECT_EQ(g.countItems(Gadget::videoList), 1);
    EXPECT_EQ(g.itemText(Gadget::videoList, 0).section('\n', 0, 0), "/home/a/Video_Sentello_2.avi");
}

TEST(GadgetTable, StatesAndTextsOfTheOtherKinds) {
    QWidget window;
    GadgetTable g(&window);
    g.setState(Gadget::beepCheck, 1);
    EXPECT_EQ(g.state(Gadget::beepCheck), 1);
    g.setState(Gadget::clipLengthSpin, 500);
    EXPECT_EQ(g.state(Gadget::clipLengthSpin), 300) << "kept within its range";
    EXPECT_EQ(g.text(Gadget::clipLengthSpin), "300");
    g.setText(Gadget::waitSpin, "12");
    EXPECT_EQ(g.state(Gadget::waitSpin), 12);
    g.setText(Gadget::timePicker, "07:45");
    EXPECT_EQ(g.text(Gadget::timePicker), "07:45");
    g.setItemText(Gadget::slotTabs, 2, "19:30");
    EXPECT_EQ(g.itemText(Gadget::slotTabs, 2), "19:30");
    g.setState(Gadget::slotTabs, 2);
    EXPECT_EQ(g.state(Gadget::slotTabs), 2);
    g.setText(Gadget::passwordField, "geheim");
    EXPECT_EQ(g.text(Gadget::passwordField), "geheim");
}

// A field keeps the bytes the settings file gave it until somebody types into it.
TEST(GadgetTable, AFieldGivesItsStoredBytesBackUntilItsTextChanges) {
    QWidget window;
    GadgetTable g(&window);
    g.setStoredText(Gadget::serverField, "h\xE9te");
    EXPECT_EQ(g.text(Gadget::serverField), "héte");
    EXPECT_EQ(g.storedText(Gadget::serverField), "h\xE9te");
    g.as<QLineEdit>(Gadget::serverField)->insert("x");
    EXPECT_EQ(g.storedText(Gadget::serverField), "h\xC3\xA9tex");
    g.as<QLineEdit>(Gadget::serverField)->backspace();
    EXPECT_EQ(g.storedText(Gadget::serverField), "h\xE9te") << "the change undone";
    EXPECT_EQ(g.storedText(Gadget::userField), "") << "a field never stored";
}

}  // namespace
