// The outbox's writing of the messages handed over: on a thread of its own, so that a slow disk
// holds up no caller, yet in order, before any send, and whole at the outbox's end.

#include <gtest/gtest.h>

#include <future>

#include "outboxtest.h"

namespace {

using Kind = OutboxReport::Kind;
using OutboxWriteTest = OutboxFixture;

// Hands the message over on a thread of its own: true when enqueue returned within ten
// seconds. One that waits for the held disk fails the test instead of hanging it.
bool handedOverWithoutWaiting(Outbox& outbox, AlertMessage alert, std::string& id, Script& script) {
    auto handing = std::async(std::launch::async, [&outbox, alert = std::move(alert)]() mutable {
        return outbox.enqueue(std::move(alert));
    });
    if (handing.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        script.releaseDisk();
        id = handing.get();
        return false;
    }
    id = handing.get();
    return true;
}

// The disk held: each message is handed over at once and nothing is sent before it is in the
// folder. The outbox ending meanwhile writes them all, and the next start sends them in the
// order they were handed over, with their pictures.
TEST_F(OutboxWriteTest, MessagesHandedOverWhileTheDiskIsHeldAreWrittenAtTheEndAndSentInOrder) {
    m_script->diskHeld = true;
    m_outbox = makeOutbox();
    std::vector<std::string> ids(4);
    for (std::size_t index = 0; index < ids.size(); ++index) {
        // The next start knows their order by their time.
        m_clocks.advance(std::chrono::milliseconds(1));
        ASSERT_TRUE(
            handedOverWithoutWaiting(*m_outbox, message(1000 + index), ids[index], *m_script))
            << "enqueue waited for the disk";
    }
    EXPECT_EQ(m_outbox->state().waiting, 4u);
    EXPECT_EQ(filesInFolder(), 0u);

    // The server stalls at the end: what is written waits for the next start.
    {
        const std::lock_guard lock(m_script->mutex);
        m_script->stalled = true;
    }
    auto ending = std::async(std::launch::async, [this] { m_outbox.reset(); });
    m_script->releaseDisk();
    ASSERT_EQ(ending.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    {
        const std::lock_guard lock(m_script->mutex);
        EXPECT_TRUE(m_script->ids.empty()) << "sent before it was written";
        m_script->stalled = false;
    }
    for (const std::string& id : ids) {
        EXPECT_TRUE(exists(id + ".msg"));
        EXPECT_TRUE(exists(id + ".jpg"));
    }

    m_outbox = makeOutbox();
    ASSERT_TRUE(m_script->waitFor([&] { return m_script->ids.size() == ids.size(); }));
    ASSERT_TRUE(waitForState(0, std::nullopt));
    const std::lock_guard lock(m_script->mutex);
    EXPECT_EQ(m_script->ids, ids);
    EXPECT_EQ(m_script->pictureSizes, (std::vector<std::size_t>{1000, 1001, 1002, 1003}));
}

// Handed over one after another while the server stalls: sent in that order.
TEST_F(OutboxWriteTest, TheMessagesOfAChannelAreSentInTheOrderHandedOver) {
    m_script->stalled = true;
    m_outbox = makeOutbox();
    std::vector<std::string> ids;
    for (int index = 0; index < 6; ++index)
        ids.push_back(m_outbox->enqueue(message(index % 2 == 0 ? 10 : 0)));
    m_script->release();
    ASSERT_TRUE(m_script->waitFor([&] { return m_script->ids.size() == ids.size(); }));
    ASSERT_TRUE(waitForState(0, std::nullopt));
    const std::lock_guard lock(m_script->mutex);
    EXPECT_EQ(m_script->ids, ids);
}

// A message the disk does not take is said with the disk's reason, is never sent and leaves
// nothing behind; the next one, once the disk takes it again, goes as ever.
TEST_F(OutboxWriteTest, AMessageThatCouldNotBeWrittenIsReportedAndNotSent) {
    m_script->diskFailure = "Kein Platz auf dem Gerät";
    m_outbox = makeOutbox();
    const std::string lost = m_outbox->enqueue(message(500));
    ASSERT_TRUE(waitForReports(Kind::NotWritten, 1));
    ASSERT_TRUE(waitForState(0, std::nullopt));
    {
        const std::lock_guard lock(m_script->mutex);
        EXPECT_EQ(reported(Kind::NotWritten), std::vector<std::string>{lost});
        EXPECT_EQ(m_reports.front().reason, "Kein Platz auf dem Gerät");
        EXPECT_EQ(m_reports.front().channel, AlertChannel::Mail);
        EXPECT_TRUE(m_script->ids.empty());
        m_script->diskFailure.reset();
    }
    EXPECT_EQ(filesInFolder(), 0u);
    const std::string kept = queue(message());
    ASSERT_TRUE(m_script->waitFor([&] { return m_script->ids.size() == 1; }));
    const std::lock_guard lock(m_script->mutex);
    EXPECT_EQ(m_script->ids, std::vector<std::string>{kept});
}

// A write that fails while the outbox ends is still said, on the ending thread.
TEST_F(OutboxWriteTest, AWriteThatFailsAtTheEndIsStillReported) {
    m_script->diskHeld = true;
    m_script->diskFailure = "Eingabe-/Ausgabefehler";
    m_outbox = makeOutbox();
    const std::string id = m_outbox->enqueue(message());
    auto ending = std::async(std::launch::async, [this] { m_outbox.reset(); });
    m_script->releaseDisk();
    ASSERT_EQ(ending.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    const std::lock_guard lock(m_script->mutex);
    EXPECT_EQ(reported(Kind::NotWritten), std::vector<std::string>{id});
}

}  // namespace
