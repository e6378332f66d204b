#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "../tempfolder.h"
#include "outputs/outbox.h"

// Clocks that move only when the test moves them.
struct FakeClocks {
    std::atomic<std::int64_t> steadyNs{1'000'000'000};
    std::atomic<std::int64_t> wallMs{1'765'361'472'000};

    OutboxClocks clocks() {
        return {[this] {
                    return std::chrono::steady_clock::time_point(
                        std::chrono::nanoseconds(steadyNs.load()));
                },
                [this] { return wallMs.load(); }};
    }
    void advance(std::chrono::milliseconds step) {
        steadyNs += std::chrono::nanoseconds(step).count();
        wallMs += step.count();
    }
    std::int64_t steadySeconds() const { return steadyNs.load() / 1'000'000'000; }
};

// What a channel's server does, as the test says: the outcomes given one by one (then each
// message taken), or every message refused; held in its send while stalled.
struct Script {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Delivery> outcomes;
    bool refuseAll = false;
    bool stalled = false;
    // The disk as the outbox's writer finds it: held until released, or failing every write.
    bool diskHeld = false;
    std::optional<std::string> diskFailure;
    // The names of the files the writer put into the folder or failed to.
    std::vector<std::string> writes;
    int entered = 0;
    // Of each send: the message's id, its picture's size and the fake clock's second.
    std::vector<std::string> ids;
    std::vector<std::size_t> pictureSizes;
    std::vector<std::int64_t> seconds;

    // True when `condition` (under the lock) held within ten seconds.
    bool waitFor(const std::function<bool()>& condition) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(10), condition);
    }
    void release() {
        {
            const std::lock_guard lock(mutex);
            stalled = false;
        }
        changed.notify_all();
    }
    void releaseDisk() {
        {
            const std::lock_guard lock(mutex);
            diskHeld = false;
        }
        changed.notify_all();
    }
    // The outbox's write through this disk.
    OutboxWrite disk() {
        return [this](const OutboxFolder& folder, const std::string& name, std::string_view bytes) {
            std::unique_lock lock(mutex);
            changed.wait(lock, [this] { return !diskHeld; });
            const std::optional<std::string> failure =
                diskFailure ? diskFailure : folder.write(name, bytes);
            writes.push_back(name);
            changed.notify_all();
            return failure;
        };
    }
};

class FakeSender : public AlertSender {
public:
    FakeSender(std::shared_ptr<Script> script, FakeClocks* clocks)
        : m_script(std::move(script)), m_clocks(clocks) {}

    Delivery send(const AlertMessage& message) override {
        std::unique_lock lock(m_script->mutex);
        ++m_script->entered;
        m_script->changed.notify_all();
        m_script->changed.wait(lock, [this] { return !m_script->stalled || m_abandoned; });
        if (m_abandoned)
            return {Delivery::Outcome::TryAgain, "abgebrochen", {}};
        m_script->ids.push_back(message.id);
        m_script->pictureSizes.push_back(message.picture.size());
        m_script->seconds.push_back(m_clocks ? m_clocks->steadySeconds() : 0);
        Delivery delivery{Delivery::Outcome::Delivered, {}, {}};
        if (m_script->refuseAll) {
            delivery = {Delivery::Outcome::Refused, "Anmeldung abgelehnt", {}};
        } else if (!m_script->outcomes.empty()) {
            delivery = m_script->outcomes.front();
            m_script->outcomes.pop_front();
        }
        m_script->changed.notify_all();
        return delivery;
    }
    void abandon() override {
        const std::lock_guard lock(m_script->mutex);
        m_abandoned = true;
        m_script->changed.notify_all();
    }

private:
    std::shared_ptr<Script> m_script;
    FakeClocks* m_clocks;
    // The outbox ended and gave up the send under way; under the script's mutex.
    bool m_abandoned = false;
};

// An outbox in a folder of its own, its mail sent by a scripted sender against fake clocks,
// its reports collected.
class OutboxFixture : public testing::Test {
protected:
    ~OutboxFixture() override {
        m_script->release();
        m_script->releaseDisk();
        m_outbox.reset();
    }

    std::unique_ptr<Outbox> makeOutbox(std::uintmax_t limitBytes = 100'000'000) {
        auto opened = OutboxFolder::open(m_path);
        if (!std::holds_alternative<OutboxFolder>(opened)) {
            ADD_FAILURE() << std::get<std::string>(opened);
            return nullptr;
        }
        std::map<AlertChannel, std::unique_ptr<AlertSender>> senders;
        senders[AlertChannel::Mail] = std::make_unique<FakeSender>(m_script, &m_clocks);
        return std::make_unique<Outbox>(
            std::move(std::get<OutboxFolder>(opened)), std::move(senders), limitBytes,
            [this](const OutboxReport& report) {
                {
                    const std::lock_guard lock(m_script->mutex);
                    m_reports.push_back(report);
                }
                m_script->changed.notify_all();
            },
            m_clocks.clocks(), m_script->disk());
    }

    static AlertMessage message(std::size_t pictureBytes = 0) {
        AlertMessage message;
        message.event.kind = WatchEvent::Kind::Trigger;
        message.event.changePercent = 12.5f;
        message.picture = std::string(pictureBytes, 'J');
        return message;
    }

    // Hands the message over and waits until it is written.
    std::string queue(AlertMessage alert) {
        const std::string id = m_outbox->enqueue(std::move(alert));
        EXPECT_TRUE(m_script->waitFor([&] { return wrote(id + ".msg"); })) << id;
        return id;
    }
    // Under the script's lock.
    bool wrote(const std::string& name) const {
        return std::find(m_script->writes.begin(), m_script->writes.end(), name) !=
               m_script->writes.end();
    }

    // The reports of `kind` so far, by id.
    std::vector<std::string> reportedNow(OutboxReport::Kind kind) {
        const std::lock_guard lock(m_script->mutex);
        return reported(kind);
    }
    // The same, under the script's lock.
    std::vector<std::string> reported(OutboxReport::Kind kind) {
        std::vector<std::string> ids;
        for (const OutboxReport& report : m_reports)
            if (report.kind == kind)
                ids.push_back(report.id);
        return ids;
    }
    bool waitForReports(OutboxReport::Kind kind, std::size_t count) {
        return m_script->waitFor([&] { return reported(kind).size() >= count; });
    }
    // True when the outbox's state became `waiting` and `seconds` within ten seconds.
    bool waitForState(std::size_t waiting, std::optional<std::int64_t> seconds) {
        const auto bound = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < bound) {
            const OutboxState state = m_outbox->state();
            if (state.waiting == waiting && state.secondsToNextTry == seconds)
                return true;
            std::unique_lock lock(m_script->mutex);
            m_script->changed.wait_for(lock, std::chrono::milliseconds(10));
        }
        return false;
    }
    bool exists(const std::string& name) const {
        std::error_code error;
        return std::filesystem::exists(std::filesystem::symlink_status(m_path + "/" + name, error));
    }
    std::size_t filesInFolder() const {
        return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(m_path),
                                                      std::filesystem::directory_iterator()));
    }

    TempFolder m_temp;
    std::string m_path = outboxPath((m_temp.path() / "Sentello.prefs").string());
    FakeClocks m_clocks;
    std::shared_ptr<Script> m_script = std::make_shared<Script>();
    // Under the script's mutex.
    std::vector<OutboxReport> m_reports;
    std::unique_ptr<Outbox> m_outbox;
};
