#include "detection/timeslots.h"

#include <gtest/gtest.h>

namespace {

const SlotTimes kDefaultTimes{600, 1100, 1800, 2200};

TEST(TimeSlots, TextsAndValues) {
    EXPECT_EQ(hhmmValue("06:00"), 600);
    EXPECT_EQ(hhmmValue("22:15"), 2215);
    EXPECT_EQ(hhmmValue("06.00 Uhr"), 6) << "only the first two and the last two characters";
    EXPECT_EQ(hhmmValue(""), 0);
    EXPECT_EQ(hhmmText(5), "00:05");
    EXPECT_EQ(hhmmText(45), "00:45");
    EXPECT_EQ(hhmmText(959), "09:59");
    EXPECT_EQ(hhmmText(2215), "22:15");
    for (int value : {0, 1, 59, 100, 1059, 2359})
        EXPECT_EQ(hhmmValue(hhmmText(value)), value);
}

TEST(TimeSlots, TheClockSelectsTheLastSlotWhoseTimeHasCome) {
    EXPECT_EQ(slotForClock(1305, kDefaultTimes), 1);
    EXPECT_EQ(slotForClock(1800, kDefaultTimes), 2);
    EXPECT_EQ(slotForClock(2359, kDefaultTimes), 3);
    EXPECT_EQ(slotForClock(600, kDefaultTimes), 0);
    EXPECT_EQ(slotForClock(300, kDefaultTimes), 3) << "the night stays with the last slot";
    EXPECT_EQ(slotForClock(4, kDefaultTimes), 3);
    EXPECT_EQ(slotForClock(559, kDefaultTimes), 3);
    // Times edited by hand out of order: before all of them, the latest one's night.
    EXPECT_EQ(slotForClock(300, SlotTimes{600, 1100, 2300, 2200}), 2);
    EXPECT_EQ(slotForClock(300, SlotTimes{700, 700, 700, 700}), 3);
}

TEST(TimeSlots, TakenTimesAreMovedAwayFromTheirNeighbours) {
    auto taken = takeTimeIntoSlot(530, 1, kDefaultTimes);
    EXPECT_EQ(taken.value, 601);
    EXPECT_TRUE(taken.collidedLeft);
    EXPECT_FALSE(taken.collidedRight);

    taken = takeTimeIntoSlot(1100, 0, kDefaultTimes);
    EXPECT_EQ(taken.value, 1059);
    EXPECT_TRUE(taken.collidedRight);

    taken = takeTimeIntoSlot(1059, 1, {1059, 1100, 1800, 2200});
    EXPECT_EQ(taken.value, 1100) << "10:60 is 11:00";

    taken = takeTimeIntoSlot(1130, 2, {600, 1200, 1800, 1201});
    EXPECT_TRUE(taken.collidedLeft);
    EXPECT_TRUE(taken.collidedRight);
    EXPECT_EQ(taken.value, 1200) << "the left neighbour's time";

    taken = takeTimeIntoSlot(1500, 1, kDefaultTimes);
    EXPECT_EQ(taken.value, 1500);
    EXPECT_FALSE(taken.collidedLeft || taken.collidedRight);
}

TEST(TimeSlots, CorrectionsStayWithinTheDay) {
    EXPECT_EQ(takeTimeIntoSlot(2359, 3, {600, 1100, 1800, 2359}).value, 2359);
    EXPECT_EQ(takeTimeIntoSlot(0, 0, {600, 0, 1800, 2200}).value, 0);
}

}  // namespace
