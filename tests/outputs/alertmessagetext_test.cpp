// A message as the outbox keeps it on the disk, and its id.

#include "outputs/alertmessagetext.h"

#include <gtest/gtest.h>

#include <set>

#include "outputs/alertid.h"

namespace {

AlertMessage fullMessage() {
    AlertMessage message;
    message.id = newAlertId(1'765'361'472'123);
    message.channel = AlertChannel::Mqtt;
    message.createdMs = 1'765'361'472'123;
    message.furtherTriggers = 4;
    message.test = true;
    message.stateOnly = true;
    message.profile = "Keller";
    WatchEvent& event = message.event;
    event.kind = WatchEvent::Kind::UploadFailed;
    event.when = {2026, 12, 10, 23, 59, 58};
    event.changePercent = 37.25f;
    event.effect = WatchEvent::Effect::ClipStarted;
    event.count = -9'000'000'000;
    // Values that would end a line, start a key or an escape, and bytes of no UTF-8.
    event.clipPath = "/tmp/a\nid=evil\nend\n";
    event.deletion = WatchEvent::Deletion::StorageLimit;
    event.reconnections = 3;
    event.on = true;
    event.remoteName = "100%=\r\x7F";
    event.step = std::string("a\0b", 3);
    event.reason = "\xFF\xFE ü";
    event.detail = "%41";
    event.version = "Version 1.17";
    event.source = "v4l2:///dev/video0";
    return message;
}

TEST(AlertMessageText, EveryFieldComesBackAsItWasWhateverItHolds) {
    const AlertMessage message = fullMessage();
    const std::string text = alertMessageText(message);
    // One line per field between the first and the last.
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 29);
    EXPECT_EQ(text.find('\r'), std::string::npos);
    EXPECT_EQ(text.find('\0'), std::string::npos);
    const std::optional<AlertMessage> back = parseAlertMessageText(text);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->id, message.id);
    EXPECT_EQ(back->channel, AlertChannel::Mqtt);
    EXPECT_EQ(back->createdMs, message.createdMs);
    EXPECT_EQ(back->furtherTriggers, 4);
    EXPECT_TRUE(back->test);
    EXPECT_TRUE(back->stateOnly);
    EXPECT_EQ(back->profile, "Keller");
    const WatchEvent& event = back->event;
    EXPECT_EQ(event.kind, WatchEvent::Kind::UploadFailed);
    EXPECT_EQ(event.when.year, 2026);
    EXPECT_EQ(event.when.second, 58);
    EXPECT_EQ(event.changePercent, 37.25f);
    EXPECT_EQ(event.effect, WatchEvent::Effect::ClipStarted);
    EXPECT_EQ(event.count, -9'000'000'000);
    EXPECT_EQ(event.clipPath, message.event.clipPath);
    EXPECT_EQ(event.deletion, WatchEvent::Deletion::StorageLimit);
    EXPECT_EQ(event.reconnections, 3);
    EXPECT_TRUE(event.on);
    EXPECT_EQ(event.remoteName, message.event.remoteName);
    EXPECT_EQ(event.step, message.event.step);
    EXPECT_EQ(event.reason, message.event.reason);
    EXPECT_EQ(event.detail, "%41");
    EXPECT_EQ(event.version, "Version 1.17");
    EXPECT_EQ(event.source, message.event.source);
    EXPECT_TRUE(back->picture.empty());
}

TEST(AlertMessageText, ATextCutShortOrOutOfShapeIsNoMessage) {
    const std::string text = alertMessageText(fullMessage());
    for (std::size_t length = 0; length < text.size(); ++length)
        EXPECT_FALSE(parseAlertMessageText(text.substr(0, length))) << length;

    const auto replaced = [&](const std::string& from, const std::string& to) {
        std::string changed = text;
        changed.replace(changed.find(from), from.size(), to);
        return changed;
    };
    EXPECT_FALSE(parseAlertMessageText(replaced("channel=mqtt", "channel=fax")));
    EXPECT_FALSE(parseAlertMessageText(replaced("id=", "id=../")));
    // The resumed watch is sent, what the start found of the last run is only logged.
    const auto resumed = parseAlertMessageText(replaced("kind=8", "kind=17"));
    ASSERT_TRUE(resumed);
    EXPECT_EQ(resumed->event.kind, WatchEvent::Kind::WatchResumed);
    for (const char* onlyLogged : {"kind=13", "kind=14", "kind=15", "kind=16", "kind=18"})
        EXPECT_FALSE(parseAlertMessageText(replaced("kind=8", onlyLogged))) << onlyLogged;
    EXPECT_FALSE(parseAlertMessageText(replaced("month=12", "month=13")));
    EXPECT_FALSE(parseAlertMessageText(replaced("created=", "created=x")));
    EXPECT_FALSE(parseAlertMessageText(replaced("created=", "created=99999999999999999999")));
    EXPECT_FALSE(parseAlertMessageText(replaced("detail=%2541", "detail=%4")));
    EXPECT_FALSE(parseAlertMessageText(replaced("detail=%2541", "detail=%G1")));
    EXPECT_FALSE(parseAlertMessageText(replaced("on=1", "on=1\non=0")));
    EXPECT_FALSE(parseAlertMessageText(replaced("on=1", "on")));
    EXPECT_FALSE(parseAlertMessageText(replaced("channel=mqtt\n", "")));
    EXPECT_FALSE(parseAlertMessageText(replaced("sentello-alert 1", "sentello-alert 2")));
    // A field of a later version is passed over.
    const auto later = parseAlertMessageText(replaced("on=1", "on=1\nfarbe=rot"));
    ASSERT_TRUE(later);
    EXPECT_TRUE(later->event.on);
}

TEST(AlertId, IsNewEveryTimeAndServesAsAFileName) {
    std::set<std::string> ids;
    for (int index = 0; index < 10000; ++index) {
        const std::string id = newAlertId(1'765'361'472'123);
        EXPECT_TRUE(isAlertId(id)) << id;
        EXPECT_TRUE(id.starts_with("1765361472123-"));
        ids.insert(id);
    }
    EXPECT_EQ(ids.size(), 10000u);
    EXPECT_FALSE(isAlertId(""));
    EXPECT_FALSE(isAlertId("-1"));
    EXPECT_FALSE(isAlertId("a/b"));
    EXPECT_FALSE(isAlertId(".."));
    EXPECT_FALSE(isAlertId("a.msg"));
    EXPECT_FALSE(isAlertId(std::string(65, 'a')));
    EXPECT_TRUE(isAlertId(std::string(64, 'a')));
}

}  // namespace
