// The watch's events: the line of the event log and the desktop's text made from each kind,
// and the stream that hands every event to its subscribers on the main thread.

#include "outputs/watchevents.h"

#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>
#include <QTest>

#include <thread>

#include "outputs/desktopnotification.h"
#include "outputs/eventlog.h"

namespace {

using Kind = WatchEvent::Kind;

const DateFields kNoon{2026, 12, 9, 12, 5, 7};
const std::string kClip = "/home/wächter/Video_Sentello_20261209120507.avi";

// The whole line the log writes for the event, at noon.
std::string logLine(WatchEvent event) {
    event.when = kNoon;
    return eventLine(event.when, eventLogFields(event));
}

TEST(WatchEventLogLine, TriggersSayTheShareAndWhatTheyDid) {
    EXPECT_EQ(logLine({.kind = Kind::Trigger, .changePercent = 37.4f}),
              "2026-12-09 12:05:07\tAuslösung\t37 %\n");
    EXPECT_EQ(logLine({.kind = Kind::Trigger,
                       .changePercent = 99.5f,
                       .effect = WatchEvent::Effect::Counted,
                       .count = 9223372036854775807}),
              "2026-12-09 12:05:07\tAuslösung\t100 %\tgezählt: 9223372036854775807\n");
    EXPECT_EQ(logLine({.kind = Kind::Trigger,
                       .changePercent = 0.5f,
                       .effect = WatchEvent::Effect::ClipStarted,
                       .clipPath = kClip}),
              "2026-12-09 12:05:07\tAuslösung\t1 %\tVideo Video_Sentello_20261209120507.avi\n");
    EXPECT_EQ(
        logLine({.kind = Kind::Trigger,
                 .changePercent = 25.0f,
                 .effect = WatchEvent::Effect::DuringClip,
                 .clipPath = kClip}),
        "2026-12-09 12:05:07\tAuslösung\t25 %\twährend Video Video_Sentello_20261209120507.avi\n");
}

TEST(WatchEventLogLine, ClipsByTheirFileName) {
    EXPECT_EQ(logLine({.kind = Kind::ClipFinished, .clipPath = kClip}),
              "2026-12-09 12:05:07\tVideo fertig\tVideo_Sentello_20261209120507.avi\n");
    EXPECT_EQ(
        logLine(
            {.kind = Kind::ClipFinished, .clipPath = kClip, .reason = "cut short by a full disk"}),
        "2026-12-09 12:05:07\tVideo fertig\tVideo_Sentello_20261209120507.avi\t"
        "cut short by a full disk\n");
    EXPECT_EQ(logLine({.kind = Kind::ClipFailed, .clipPath = kClip, .reason = "Disk full\n"}),
              "2026-12-09 12:05:07\tVideo fehlgeschlagen\tVideo_Sentello_20261209120507.avi\t"
              "Disk full \n");
    EXPECT_EQ(logLine({.kind = Kind::ClipDeleted, .clipPath = kClip}),
              "2026-12-09 12:05:07\tVideo gelöscht\tVideo_Sentello_20261209120507.avi\tvon Hand\n");
    EXPECT_EQ(logLine({.kind = Kind::ClipDeleted,
                       .clipPath = kClip,
                       .deletion = WatchEvent::Deletion::StorageLimit}),
              "2026-12-09 12:05:07\tVideo gelöscht\tVideo_Sentello_20261209120507.avi\t"
              "Speichergrenze\n");
}

TEST(WatchEventLogLine, ClipsCutOffByACrashWithTheirLengthOrWhyNot) {
    EXPECT_EQ(logLine({.kind = Kind::ClipRepaired, .clipPath = kClip, .seconds = 5.84}),
              "2026-12-09 12:05:07\tVideo nach Abbruch repariert\t"
              "Video_Sentello_20261209120507.avi\t5,8 s\n");
    EXPECT_EQ(logLine({.kind = Kind::ClipRepaired, .clipPath = kClip, .seconds = 299.96}),
              "2026-12-09 12:05:07\tVideo nach Abbruch repariert\t"
              "Video_Sentello_20261209120507.avi\t300,0 s\n");
    EXPECT_EQ(
        logLine({.kind = Kind::ClipNotRepaired, .clipPath = kClip, .reason = "no whole picture"}),
        "2026-12-09 12:05:07\tVideo nach Abbruch nicht reparierbar\t"
        "Video_Sentello_20261209120507.avi\tno whole picture\n");
}

TEST(WatchEventLogLine, TheCameraTheWatchAndTheProgram) {
    EXPECT_EQ(logLine({.kind = Kind::CameraLost}), "2026-12-09 12:05:07\tKamera verloren\n");
    EXPECT_EQ(logLine({.kind = Kind::CameraBack, .reconnections = 1}),
              "2026-12-09 12:05:07\tKamera wieder da\tnach 1 Verbindungsversuch\n");
    EXPECT_EQ(logLine({.kind = Kind::CameraBack, .reconnections = 12}),
              "2026-12-09 12:05:07\tKamera wieder da\tnach 12 Verbindungsversuchen\n");
    EXPECT_TRUE(eventLogFields({.kind = Kind::WatchSwitched, .on = true}).empty())
        << "the recording mode switched is no line of the log";
    EXPECT_TRUE(eventLogFields({.kind = Kind::WatchSwitched, .on = false}).empty());
    EXPECT_EQ(logLine({.kind = Kind::ProgramStart,
                       .version = "Version 1.17",
                       .source = "videotestsrc pattern=ball"}),
              "2026-12-09 12:05:07\tStart\tSentello Version 1.17\tvideotestsrc pattern=ball\n");
    EXPECT_EQ(
        logLine({.kind = Kind::StartAborted,
                 .reason = "Die avicap32.dll ist nicht verfügbar.",
                 .detail = "GStreamer elements missing: v4l2src (gstreamer1.0-plugins-good)"}),
        "2026-12-09 12:05:07\tAbbruch\tDie avicap32.dll ist nicht verfügbar.\t"
        "GStreamer elements missing: v4l2src (gstreamer1.0-plugins-good)\n");
    EXPECT_EQ(
        logLine({.kind = Kind::StartAborted, .reason = "Ein Kamera-Treiber ist nicht verfügbar."}),
        "2026-12-09 12:05:07\tAbbruch\tEin Kamera-Treiber ist nicht verfügbar.\n");
    EXPECT_EQ(logLine({.kind = Kind::ProgramEnd}), "2026-12-09 12:05:07\tEnde\n");
}

TEST(WatchEventLogLine, UploadsAndSettings) {
    EXPECT_EQ(logLine({.kind = Kind::Uploaded, .remoteName = "bild.jpg"}),
              "2026-12-09 12:05:07\tUpload\tbild.jpg\n");
    EXPECT_EQ(logLine({.kind = Kind::UploadFailed,
                       .step = "connect",
                       .reason = "Anmeldung abgelehnt",
                       .detail = "530 Login incorrect."}),
              "2026-12-09 12:05:07\tUpload fehlgeschlagen\tconnect\tAnmeldung abgelehnt\t"
              "530 Login incorrect.\n");
    EXPECT_EQ(logLine({.kind = Kind::SettingsNotSaved, .reason = "write: File too large"}),
              "2026-12-09 12:05:07\tEinstellungen nicht gespeichert\twrite: File too large\n");
}

TEST(WatchEventNotification, TheTimeAndTheShareOfTheTrigger) {
    EXPECT_EQ(triggerNotificationText({.kind = Kind::Trigger,
                                       .when = kNoon,
                                       .changePercent = 36.6f,
                                       .effect = WatchEvent::Effect::ClipStarted,
                                       .clipPath = kClip}),
              "09.12.2026 12:05:07 – 37 % des Bildes verändert");
}

// Each subscriber hears every event once, in the order of the reports, stamped as it arrives.
TEST(WatchEventStream, EverySubscriberHearsEachEventStampedInOrder) {
    DateFields now = kNoon;
    WatchEvents events([&now] { return now; });
    std::vector<std::string> heard;
    events.subscribe([&](const WatchEvent& event) {
        heard.push_back("log " + std::to_string(static_cast<int>(event.kind)) + " " +
                        std::to_string(event.when.second));
    });
    events.subscribe([&](const WatchEvent& event) {
        heard.push_back("desktop " + std::to_string(static_cast<int>(event.kind)));
    });
    events.report({.kind = Kind::CameraLost, .when = {2001, 1, 1, 0, 0, 0}});
    now.second = 9;
    events.report({.kind = Kind::CameraBack, .reconnections = 2});
    EXPECT_EQ(heard, (std::vector<std::string>{"log 4 7", "desktop 4", "log 5 9", "desktop 5"}));
}

// A report from another thread is heard on the main thread once its event loop runs, or when
// the end asks for what is still waiting.
TEST(WatchEventStream, AReportFromAnotherThreadIsHeardOnTheMainThread) {
    WatchEvents events([] { return kNoon; });
    std::vector<std::string> reasons;
    std::vector<QThread*> threads;
    events.subscribe([&](const WatchEvent& event) {
        reasons.push_back(event.reason);
        threads.push_back(QThread::currentThread());
    });
    std::thread([&] {
        events.report({.kind = Kind::SettingsNotSaved, .reason = "sync: Input/output error"});
    }).join();
    EXPECT_TRUE(reasons.empty()) << "heard on the reporting thread";
    ASSERT_TRUE(QTest::qWaitFor([&] { return !reasons.empty(); }, 20000));
    EXPECT_EQ(reasons, (std::vector<std::string>{"sync: Input/output error"}));

    std::thread([&] {
        events.report({.kind = Kind::SettingsNotSaved, .reason = "write: File too large"});
    }).join();
    events.deliverWaiting();
    EXPECT_EQ(reasons,
              (std::vector<std::string>{"sync: Input/output error", "write: File too large"}));
    EXPECT_EQ(threads, (std::vector<QThread*>(2, QCoreApplication::instance()->thread())));
}

}  // namespace
