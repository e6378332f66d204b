// The outbox against a scripted sender and clocks that the test moves.

#include "outputs/outbox.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "../boundedcall.h"
#include "outboxtest.h"
#include "outputs/alertid.h"
#include "outputs/alertmessagetext.h"

namespace {

namespace fs = std::filesystem;
using Kind = OutboxReport::Kind;
using Outcome = Delivery::Outcome;

using OutboxTest = OutboxFixture;

// The size of the text of a message as the fixture makes them.
std::size_t textSize(std::int64_t wallMs) {
    AlertMessage alert;
    alert.event.kind = WatchEvent::Kind::Trigger;
    alert.event.changePercent = 12.5f;
    alert.id = newAlertId(wallMs);
    alert.createdMs = wallMs;
    return alertMessageText(alert).size();
}

TEST_F(OutboxTest, AMessageIsOnTheDiskWhileItIsSentAndGoneWhenItWasTaken) {
    m_script->stalled = true;
    m_outbox = makeOutbox();
    AlertMessage alert = message(5000);
    alert.id = newAlertId(m_clocks.wallMs);
    const std::string id = queue(alert);
    EXPECT_EQ(id, alert.id);
    ASSERT_TRUE(m_script->waitFor([&] { return m_script->entered == 1; }));
    EXPECT_TRUE(exists(id + ".msg"));
    EXPECT_TRUE(exists(id + ".jpg"));
    EXPECT_EQ(m_outbox->state().waiting, 1u);
    EXPECT_EQ(m_outbox->state().secondsToNextTry, 0);
    m_script->release();
    ASSERT_TRUE(waitForState(0, std::nullopt));
    EXPECT_EQ(filesInFolder(), 0u);
    const std::lock_guard lock(m_script->mutex);
    EXPECT_EQ(m_script->ids, std::vector<std::string>{id});
    EXPECT_EQ(m_script->pictureSizes, std::vector<std::size_t>{5000});
    EXPECT_TRUE(m_reports.empty());
}

// A mail server that keeps the mail waiting for its whole time limit holds up no push message:
// each channel sends on its own.
TEST_F(OutboxTest, AStalledChannelHoldsUpNoOther) {
    m_script->stalled = true;
    auto push = std::make_shared<Script>();
    auto opened = OutboxFolder::open(m_path);
    ASSERT_TRUE(std::holds_alternative<OutboxFolder>(opened));
    std::map<AlertChannel, std::unique_ptr<AlertSender>> senders;
    senders[AlertChannel::Mail] = std::make_unique<FakeSender>(m_script, &m_clocks);
    senders[AlertChannel::Push] = std::make_unique<FakeSender>(push, &m_clocks);
    m_outbox = std::make_unique<Outbox>(
        std::move(std::get<OutboxFolder>(opened)), std::move(senders), 100'000'000,
        [](const OutboxReport&) {}, m_clocks.clocks(), m_script->disk());
    queue(message());
    ASSERT_TRUE(m_script->waitFor([&] { return m_script->entered == 1; }));
    AlertMessage pushed = message();
    pushed.channel = AlertChannel::Push;
    const std::string id = queue(pushed);
    EXPECT_TRUE(push->waitFor([&] { return push->ids == std::vector<std::string>{id}; }))
        << "the push message waited for the mail";
    m_script->release();
    EXPECT_TRUE(waitForState(0, std::nullopt));
}

// The program's end is told as it ends: a message handed over just before the outbox ends is
// sent when its server takes it at once.
TEST_F(OutboxTest, TheMessageThatCameLastIsSentBeforeTheEnd) {
    m_outbox = makeOutbox();
    const std::string id = m_outbox->enqueue(message());
    m_outbox.reset();
    EXPECT_FALSE(exists(id + ".msg"));
    const std::lock_guard lock(m_script->mutex);
    EXPECT_EQ(m_script->ids, std::vector<std::string>{id});
}

// Closing the program while a server stalls ends the send under way at once; the message waits
// in the folder and goes at the next start.
TEST_F(OutboxTest, TheEndGivesUpASendUnderWayAndTheNextStartSendsIt) {
    m_script->stalled = true;
    m_outbox = makeOutbox();
    const std::string id = queue(message(5000));
    ASSERT_TRUE(m_script->waitFor([&] { return m_script->entered == 1; }));
    EXPECT_TRUE(endsWithin(std::chrono::seconds(20), [&] { m_outbox.reset(); }))
        << "the end waited for the stalled server";
    ASSERT_FALSE(m_outbox);
    EXPECT_TRUE(exists(id + ".msg"));
    {
        const std::lock_guard lock(m_script->mutex);
        EXPECT_TRUE(m_script->ids.empty());
        m_script->stalled = false;
    }
    m_outbox = makeOutbox();
    ASSERT_TRUE(waitForState(0, std::nullopt));
    const std::lock_guard lock(m_script->mutex);
    EXPECT_EQ(m_script->ids, std::vector<std::string>{id});
}

TEST_F(OutboxTest, AFailedMessageIsTriedAgainAfterPausesDoublingUpToFiveMinutes) {
    const std::vector<std::int64_t> pauses{1, 2, 4, 8, 16, 32, 64, 128, 256, 300, 300};
    for (std::size_t failure = 0; failure < pauses.size(); ++failure)
        m_script->outcomes.push_back({Outcome::TryAgain, "keine Verbindung", {}});
    m_outbox = makeOutbox();
    const std::string id = queue(message());
    for (std::size_t failure = 0; failure < pauses.size(); ++failure) {
        ASSERT_TRUE(waitForState(1, pauses[failure])) << failure;
        m_clocks.advance(std::chrono::seconds(pauses[failure]));
        m_outbox->checkNow();
    }
    ASSERT_TRUE(waitForState(0, std::nullopt));
    ASSERT_TRUE(waitForReports(Kind::DeliveredLate, 1));
    const std::lock_guard lock(m_script->mutex);
    ASSERT_EQ(m_script->seconds.size(), pauses.size() + 1);
    for (std::size_t failure = 0; failure < pauses.size(); ++failure)
        EXPECT_EQ(m_script->seconds[failure + 1] - m_script->seconds[failure], pauses[failure]);
    EXPECT_EQ(reported(Kind::DeliveredLate), std::vector<std::string>{id});
    EXPECT_EQ(retryPause(1), std::chrono::seconds(1));
    EXPECT_EQ(retryPause(100000), std::chrono::seconds(300));
}

TEST_F(OutboxTest, AMessageNotDeliveredWithin24HoursIsReportedAndRemoved) {
    for (int failure = 0; failure < 3; ++failure)
        m_script->outcomes.push_back({Outcome::TryAgain, "keine Verbindung", {}});
    m_outbox = makeOutbox();
    const std::string id = queue(message(100));
    ASSERT_TRUE(waitForState(1, 1));
    m_clocks.advance(std::chrono::hours(24) - std::chrono::seconds(1));
    m_outbox->checkNow();
    ASSERT_TRUE(waitForState(1, 2));
    EXPECT_TRUE(reportedNow(Kind::Expired).empty());
    m_clocks.advance(std::chrono::seconds(1));
    m_outbox->checkNow();
    ASSERT_TRUE(waitForReports(Kind::Expired, 1));
    EXPECT_EQ(reportedNow(Kind::Expired), std::vector<std::string>{id});
    ASSERT_TRUE(waitForState(0, std::nullopt));
    EXPECT_EQ(filesInFolder(), 0u);
    const std::lock_guard lock(m_script->mutex);
    EXPECT_EQ(m_script->ids.size(), 2u);
}

// What a message stands for gone (a clip deleted meanwhile): reported and dropped at once.
// The state says what waits of the channels asked for.
TEST_F(OutboxTest, AMessageWhoseFileIsGoneIsReportedAndDroppedAndTheStateIsByChannel) {
    m_script->outcomes.push_back({Outcome::Gone, "Video nicht mehr vorhanden: a.avi", {}});
    m_outbox = makeOutbox();
    const std::string gone = queue(message());
    ASSERT_TRUE(waitForReports(Kind::Gone, 1));
    EXPECT_EQ(reportedNow(Kind::Gone), std::vector<std::string>{gone});
    // A channel without a sender keeps its message waiting.
    AlertMessage copy = message();
    copy.channel = AlertChannel::CopyClip;
    queue(copy);
    ASSERT_TRUE(waitForState(1, 1));
    EXPECT_EQ(m_outbox->state({AlertChannel::Mail}).waiting, 0u);
    EXPECT_EQ(m_outbox->state({AlertChannel::CopyPicture, AlertChannel::CopyClip}).waiting, 1u);
    EXPECT_FALSE(exists(gone + ".msg"));
    const std::lock_guard lock(m_script->mutex);
    EXPECT_EQ(m_reports.at(0).reason, "Video nicht mehr vorhanden: a.avi");
}

TEST_F(OutboxTest, ARefusedMessageIsReportedOnceKeptAndTriedEveryFiveMinutes) {
    m_script->refuseAll = true;
    m_outbox = makeOutbox();
    const std::string id = queue(message());
    ASSERT_TRUE(waitForReports(Kind::Refused, 1));
    ASSERT_TRUE(waitForState(1, 300));
    m_clocks.advance(std::chrono::seconds(299));
    m_outbox->checkNow();
    ASSERT_TRUE(waitForState(1, 1));
    m_clocks.advance(std::chrono::seconds(1));
    m_outbox->checkNow();
    ASSERT_TRUE(m_script->waitFor([&] { return m_script->ids.size() == 2; }));
    ASSERT_TRUE(waitForState(1, 300));
    EXPECT_TRUE(exists(id + ".msg"));
    {
        const std::lock_guard lock(m_script->mutex);
        EXPECT_EQ(reported(Kind::Refused), std::vector<std::string>{id});
        EXPECT_EQ(m_reports.front().reason, "Anmeldung abgelehnt");
        m_script->refuseAll = false;
    }
    m_clocks.advance(std::chrono::minutes(5));
    m_outbox->checkNow();
    ASSERT_TRUE(waitForReports(Kind::DeliveredLate, 1));
    ASSERT_TRUE(waitForState(0, std::nullopt));
}

TEST_F(OutboxTest, AFullOutboxDropsTheOldestPicturesFirstAndKeepsTheTexts) {
    m_script->stalled = true;
    // Room for two pictures and the texts.
    m_outbox = makeOutbox(25'000);
    std::vector<std::string> ids{queue(message(10'000))};
    ASSERT_TRUE(m_script->waitFor([&] { return m_script->entered == 1; }));
    for (int index = 1; index < 4; ++index)
        ids.push_back(queue(message(10'000)));
    for (int index = 0; index < 4; ++index)
        EXPECT_TRUE(exists(ids[index] + ".msg"));
    EXPECT_FALSE(exists(ids[0] + ".jpg"));
    EXPECT_FALSE(exists(ids[1] + ".jpg"));
    EXPECT_TRUE(exists(ids[2] + ".jpg"));
    EXPECT_TRUE(exists(ids[3] + ".jpg"));
    // Reported once the thread is free of its send.
    m_script->release();
    ASSERT_TRUE(waitForState(0, std::nullopt));
    ASSERT_TRUE(waitForReports(Kind::PictureDropped, 2));
    const std::lock_guard lock(m_script->mutex);
    EXPECT_EQ(reported(Kind::PictureDropped), (std::vector<std::string>{ids[0], ids[1]}));
    EXPECT_EQ(m_script->ids, ids);
    // The first was under way with its picture when the outbox filled.
    EXPECT_EQ(m_script->pictureSizes, (std::vector<std::size_t>{10'000, 0, 10'000, 10'000}));
    EXPECT_TRUE(reported(Kind::TextDropped).empty());
}

// A disk that takes the text but not the picture: the alarm goes without its picture, and
// the log learns why.
TEST_F(OutboxTest, ADiskTooFullForThePictureStillKeepsTheText) {
    m_script->stalled = true;
    m_outbox = makeOutbox();
    std::string id;
    {
        // Writes beyond 4 KB fail as on a full disk (the ignored signal makes them fail
        // instead of ending the process).
        const auto previousSignal = std::signal(SIGXFSZ, SIG_IGN);
        rlimit previous{};
        ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
        rlimit small = previous;
        small.rlim_cur = 4096;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
        id = queue(message(10'000));
        ::setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previousSignal);
    }
    EXPECT_TRUE(exists(id + ".msg"));
    EXPECT_FALSE(exists(id + ".jpg"));
    m_script->release();
    ASSERT_TRUE(waitForState(0, std::nullopt));
    ASSERT_TRUE(waitForReports(Kind::PictureDropped, 1));
    const std::lock_guard lock(m_script->mutex);
    EXPECT_EQ(m_script->ids, std::vector<std::string>{id});
    EXPECT_EQ(m_script->pictureSizes, std::vector<std::size_t>{0});
    EXPECT_EQ(reported(Kind::PictureDropped), std::vector<std::string>{id});
    EXPECT_FALSE(m_reports.front().reason.empty());
}

TEST_F(OutboxTest, OnlyTextsBeyondTheBoundGoOldestFirst) {
    m_script->stalled = true;
    const std::size_t textBytes = textSize(m_clocks.wallMs);
    m_outbox = makeOutbox(3 * textBytes + textBytes / 2);
    std::vector<std::string> ids{queue(message())};
    ASSERT_TRUE(m_script->waitFor([&] { return m_script->entered == 1; }));
    for (int index = 1; index < 5; ++index)
        ids.push_back(queue(message(index == 4 ? 1000 : 0)));
    // The first is under way; the next oldest go until three texts are left.
    EXPECT_FALSE(exists(ids[1] + ".msg"));
    EXPECT_FALSE(exists(ids[2] + ".msg"));
    EXPECT_TRUE(exists(ids[3] + ".msg"));
    m_script->release();
    ASSERT_TRUE(waitForState(0, std::nullopt));
    ASSERT_TRUE(waitForReports(Kind::TextDropped, 2));
    const std::lock_guard lock(m_script->mutex);
    EXPECT_EQ(reported(Kind::TextDropped), (std::vector<std::string>{ids[1], ids[2]}));
    EXPECT_EQ(reported(Kind::PictureDropped), std::vector<std::string>{ids[4]});
    EXPECT_EQ(m_script->ids, (std::vector<std::string>{ids[0], ids[3], ids[4]}));
}

TEST_F(OutboxTest, WhatWasNotDeliveredIsSentAtTheNextStartUnderItsId) {
    m_script->outcomes.push_back({Outcome::TryAgain, "keine Verbindung", {}});
    m_script->outcomes.push_back({Outcome::TryAgain, "keine Verbindung", {}});
    m_outbox = makeOutbox();
    const std::string first = queue(message(700));
    ASSERT_TRUE(waitForState(1, 1));
    // Oldest first at the next start.
    m_clocks.advance(std::chrono::milliseconds(1));
    const std::string second = queue(message());
    ASSERT_TRUE(waitForState(2, 1));
    m_outbox.reset();
    m_script->ids.clear();
    m_script->pictureSizes.clear();

    m_outbox = makeOutbox();
    ASSERT_TRUE(waitForState(0, std::nullopt));
    ASSERT_TRUE(waitForReports(Kind::DeliveredLate, 2));
    const std::lock_guard lock(m_script->mutex);
    EXPECT_EQ(m_script->ids, (std::vector<std::string>{first, second}));
    EXPECT_EQ(m_script->pictureSizes, (std::vector<std::size_t>{700, 0}));
}

TEST_F(OutboxTest, TheFolderIsTheUsersAloneAndALinkInItsPlaceIsRefused) {
    auto opened = OutboxFolder::open(m_path);
    ASSERT_TRUE(std::holds_alternative<OutboxFolder>(opened));
    struct stat status {};
    ASSERT_EQ(::stat(m_path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);
    ::chmod(m_path.c_str(), 0755);
    opened = OutboxFolder::open(m_path);
    ASSERT_TRUE(std::holds_alternative<OutboxFolder>(opened));
    ASSERT_EQ(::stat(m_path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);

    const fs::path elsewhere = m_temp / "elsewhere";
    fs::create_directory(elsewhere);
    const fs::path link = m_temp / "link";
    fs::create_directory_symlink(elsewhere, link);
    EXPECT_TRUE(std::holds_alternative<std::string>(OutboxFolder::open(link.string())));
    std::ofstream(m_temp / "file") << "x";
    EXPECT_TRUE(
        std::holds_alternative<std::string>(OutboxFolder::open((m_temp / "file").string())));

    // The folder replaced by a link while the outbox has it: the messages stay in the folder.
    m_script->stalled = true;
    m_outbox = makeOutbox();
    fs::rename(m_path, m_temp / "moved");
    fs::create_directory_symlink(elsewhere, m_path);
    const std::string id = queue(message(10));
    EXPECT_TRUE(fs::exists(m_temp / "moved" / (id + ".msg")));
    EXPECT_TRUE(fs::is_empty(elsewhere));
    EXPECT_TRUE(std::holds_alternative<std::string>(OutboxFolder::open(m_path)));
}

TEST_F(OutboxTest, HostileFilesInTheFolderAreNeitherFollowedNorSent) {
    fs::create_directories(m_path);
    const fs::path secret = m_temp / "secret";
    std::ofstream(secret) << "geheim";
    const auto put = [&](const std::string& name, const std::string& bytes) {
        std::ofstream(m_path + "/" + name, std::ios::binary) << bytes;
    };
    AlertMessage good = message();
    good.id = "1-good";
    good.createdMs = m_clocks.wallMs;
    put("1-good.msg", alertMessageText(good));
    fs::create_symlink(secret, m_path + "/1-good.jpg");
    fs::create_symlink(secret, m_path + "/2-link.msg");
    put("3-garbage.msg", "\x01\x02 nonsense");
    AlertMessage huge = good;
    huge.id = "4-huge";
    huge.event.detail = std::string(Outbox::kMaxTextBytes, 'x');
    put("4-huge.msg", alertMessageText(huge));
    AlertMessage otherId = good;
    otherId.id = "6-other";
    put("5-wrongid.msg", alertMessageText(otherId));
    put("7-orphan.jpg", "JPEG");
    put("8-cut.msg.Ab12Cd", "sentello-alert 1\nid=8-cut\n");
    put("notes.txt", "kept");
    put("..msg", "x");

    m_outbox = makeOutbox();
    ASSERT_TRUE(waitForState(0, std::nullopt));
    ASSERT_TRUE(waitForReports(Kind::Unreadable, 4));
    const std::lock_guard lock(m_script->mutex);
    EXPECT_EQ(m_script->ids, std::vector<std::string>{"1-good"});
    EXPECT_EQ(m_script->pictureSizes, std::vector<std::size_t>{0});
    std::vector<std::string> unreadable = reported(Kind::Unreadable);
    std::sort(unreadable.begin(), unreadable.end());
    EXPECT_EQ(unreadable, (std::vector<std::string>{"2-link.msg", "3-garbage.msg", "4-huge.msg",
                                                    "5-wrongid.msg"}));
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(m_path))
        left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"..msg", "notes.txt"}));
    std::ifstream in(secret);
    std::string kept;
    in >> kept;
    EXPECT_EQ(kept, "geheim");
}

TEST(OutboxStateText, SaysHowManyWaitAndWhenTheNextTryIs) {
    EXPECT_EQ(outboxStateText({}), "Keine Nachricht wartet");
    EXPECT_EQ(outboxStateText({3, 40}), "3 Nachrichten warten, nächster Versuch in 40 s");
    EXPECT_EQ(outboxStateText({1, 0}), "1 Nachricht wartet, wird gerade gesendet");
}

}  // namespace
