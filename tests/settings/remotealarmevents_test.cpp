#include "settings/remotealarmevents.h"

#include <gtest/gtest.h>

#include "../support/settingsfiletest.h"

namespace {

using RemoteAlarmEventsTest = SettingsFileFixture;

TEST_F(RemoteAlarmEventsTest, AFileWithoutTheGroupGivesTheDefaultsAndConfirmingThemKeepsIt) {
    const std::string classic = "[Optionen]\r\nmail = programm\r\n[Fernalarm]\r\nmail = 1\r\n";
    put(classic);
    EXPECT_EQ(loadRemoteAlarmEvents(m_path), RemoteAlarmEvents{});
    saveRemoteAlarmEvents(RemoteAlarmEvents{}, m_path);
    EXPECT_EQ(contents(), classic);
}

TEST_F(RemoteAlarmEventsTest, AChoiceIsWrittenInItsOwnGroupAndReadBack) {
    put("[Fernalarm]\r\nmail = 1\r\npush = 0\r\n");
    RemoteAlarmEvents events;
    events.mail = "ausloesung,programm";
    events.mqtt = "";
    saveRemoteAlarmEvents(events, m_path);
    EXPECT_EQ(contents(),
              "[Fernalarm]\r\nmail = 1\r\npush = 0\r\n[Fernalarmereignisse]\r\n"
              "mail = ausloesung,programm\r\npush = ausloesung,video,kamera\r\nmqtt = \r\n");
    EXPECT_EQ(loadRemoteAlarmEvents(m_path), events);

    // Once the group is there, going back to the default is written too.
    saveRemoteAlarmEvents(RemoteAlarmEvents{}, m_path);
    EXPECT_EQ(loadRemoteAlarmEvents(m_path), RemoteAlarmEvents{});
}

}  // namespace
