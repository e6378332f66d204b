// The frame timer kept as a count. The main loop once woke every 10 ms and ran the detection on
// the camera's newest picture; now a run comes when a picture arrives, and the ticks between are
// counted. Both schedules run here on the same recorded sequence of the demo room's pictures,
// with an injected clock, the hold-offs of a user's changes, of triggers, of the minute step
// and of the clock's slot changes: every new picture must give the same result in both.

#include "detection/frametimer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "detection/demoscene.h"
#include "detection/frameprocessor.h"
#include "detection/triggeractions.h"

namespace {

constexpr std::int64_t kMinuteStepMs = 60000;

// The demo room's pictures as a camera delivered them, each at its time of arrival: what the
// detection grabs at `now` is the newest that has arrived by then.
class RecordedPictures : public PictureSource {
public:
    RecordedPictures(const std::vector<std::int64_t>& arrivals, const std::int64_t& now)
        : m_arrivals(arrivals), m_now(now) {}

    std::optional<CameraFrame> grabFrame() override {
        const std::optional<std::uint64_t> sequence = newestSequence();
        if (!sequence)
            return std::nullopt;
        if (*sequence != m_rendered) {
            // The scene moves on with the time of arrival, as a camera's does.
            m_scene.render(m_arrivals[*sequence - 1] * DemoScene::kFramesPerSecond / 1000,
                           m_pixels->data());
            m_rendered = *sequence;
        }
        return CameraFrame{
            {m_pixels->data(), DemoScene::kWidth, DemoScene::kHeight, DemoScene::kStride},
            *sequence,
            m_pixels};
    }
    std::optional<std::uint64_t> newestSequence() const override {
        const auto arrived = std::upper_bound(m_arrivals.begin(), m_arrivals.end(), m_now);
        if (arrived == m_arrivals.begin())
            return std::nullopt;
        return static_cast<std::uint64_t>(arrived - m_arrivals.begin());
    }

private:
    const std::vector<std::int64_t>& m_arrivals;
    const std::int64_t& m_now;
    DemoScene m_scene;
    std::shared_ptr<std::vector<std::uint8_t>> m_pixels =
        std::make_shared<std::vector<std::uint8_t>>(DemoScene::kStride * DemoScene::kHeight);
    std::uint64_t m_rendered = 0;
};

// A change by the user: other detection values (or none) and the hold-off that comes with it.
struct UserChange {
    std::int64_t atMs;
    DetectionValues values;
    std::int32_t holdOff;
    bool recordMode;
};

// The sequence both schedules watch: pictures at a camera's uneven pace with stalls, the user's
// changes, and the minutes at which the clock selects another slot's values.
struct Recording {
    std::vector<std::int64_t> arrivals;
    std::vector<UserChange> changes;
    std::vector<std::pair<std::int64_t, DetectionValues>> slotChanges;
    std::int64_t endMs = 0;
};

// The period of 10 ms that a time lies in, as the ticks count it (a time on a tick belongs to
// the period that ends there).
std::int64_t periodOf(std::int64_t ms) {
    return (ms + kFrameIntervalMs - 1) / kFrameIntervalMs;
}

Recording recording() {
    Recording r;
    r.changes = {
        {4'003, {128, 35, 25, true}, 1, false},    {17'505, {128, 35, 25, false}, 1, false},
        {29'977, {128, 35, 25, false}, 100, true}, {52'131, {140, 35, 20, false}, 1, true},
        {88'888, {140, 35, 20, false}, 0, false},  {101'234, {120, 60, 30, true}, 1, false},
    };
    r.slotChanges = {{36'000, {110, 40, 25, false}}, {96'000, {135, 30, 15, true}}};
    r.endMs = 130'000;
    // Mostly a camera's 25 pictures a second, a few faster ones, and stalls of a network
    // camera; a picture never shares its 10 ms with a change (which one of them the old timer
    // took first depends on nothing but chance).
    const std::int64_t steps[] = {40, 40, 33, 47, 40, 12, 10, 40, 150, 40, 700, 40, 2'500, 40};
    std::uint32_t chance = 12345;
    for (std::int64_t at = 7; at < r.endMs - 3'000;) {
        chance = chance * 1103515245u + 12345u;
        at += steps[(chance >> 16) % std::size(steps)];
        const auto nearChange = [&](std::int64_t ms) {
            const auto samePeriod = [&](std::int64_t other) {
                return periodOf(other) == periodOf(ms);
            };
            return std::any_of(r.changes.begin(), r.changes.end(),
                               [&](const UserChange& c) { return samePeriod(c.atMs); }) ||
                   std::any_of(r.slotChanges.begin(), r.slotChanges.end(),
                               [&](const auto& c) { return samePeriod(c.first); });
        };
        while (nearChange(at))
            at += kFrameIntervalMs;
        r.arrivals.push_back(at);
    }
    return r;
}

// What the run on a new picture found, and the counters after it.
struct PictureResult {
    std::uint64_t sequence = 0;
    std::vector<std::pair<int, int>> changedBlocks;
    float changePercent = 0;
    bool triggered = false;
    std::int32_t holdOff = 0;
    int warmUp = 0;
    int minuteSteps = 0;
    int slot = 0;
    bool operator==(const PictureResult&) const = default;
};

std::ostream& operator<<(std::ostream& out, const PictureResult& r) {
    return out << "picture " << r.sequence << ": " << r.changedBlocks.size() << " blocks, "
               << r.changePercent << " %, triggered " << r.triggered << ", hold-off " << r.holdOff
               << ", warm-up " << r.warmUp << ", minute steps " << r.minuteSteps << ", slot "
               << r.slot;
}

// What both schedules share: the detection, the trigger actions and the record of each new
// picture's run.
class Watch {
public:
    explicit Watch(const Recording& r)
        : recording(r),
          pictures(r.arrivals, now),
          processor(pictures, state, [this] { return now; }),
          actions(state, "/nonexistent/", "Video_Sentello_",
                  {.beep = [] {},
                   .playAlertFile = [](const std::string&) {},
                   .launchProgram = [](const std::string&, const std::string&) {},
                   .pauseDetection = [this](int ms) { rest(ms); }}),
          values{128, 50, 25, true} {}
    virtual ~Watch() = default;

    std::vector<PictureResult> results;

protected:
    virtual void rest(int ms) = 0;

    // Notes the result when the run had a new picture; says whether it had a picture.
    bool run(bool compares) {
        const RunResult result =
            compares ? processor.processFrame(values) : processor.showFrame(values);
        if (result.picture == RunResult::Picture::none)
            return false;
        const std::uint64_t sequence = *pictures.newestSequence();
        if (result.picture == RunResult::Picture::same || sequence == m_lastSequence)
            return true;
        m_lastSequence = sequence;
        if (result.triggered) {
            options.counter = actions.runTriggerActions(options).detail;
        }
        PictureResult picture{sequence,
                              {},
                              result.changePercent,
                              result.triggered,
                              state.holdOffFrames,
                              state.warmUpFrames,
                              minuteSteps,
                              slot};
        if (result.compared) {
            for (const BlockPosition& block : *result.changedBlocks)
                picture.changedBlocks.emplace_back(block.column, block.row);
        }
        results.push_back(std::move(picture));
        return true;
    }
    // The user's change: its values and whether the recording mode counts.
    void take(const UserChange& change) {
        values = change.values;
        options.recordMode = change.recordMode;
    }
    void takeSlot(const DetectionValues& slotValues) {
        values = slotValues;
        ++slot;
    }

    const Recording& recording;
    std::int64_t now = 0;
    RecordedPictures pictures;
    DetectionState state;
    FrameProcessor processor;
    TriggerActions actions;
    DetectionValues values;
    TriggerOptions options{.beep = false,
                           .playAlertFile = false,
                           .alertFile = {},
                           .recordMode = false,
                           .countOnly = true,
                           .counter = "0",
                           .waitSeconds = 1,
                           .clipLengthSeconds = 0,
                           .clipWithSound = false,
                           .launchVideoTool = false,
                           .videoTool = {}};
    std::int64_t minuteMark = 0;
    int minuteSteps = 0;
    int slot = 0;

private:
    std::uint64_t m_lastSequence = 0;
};

// The old schedule: a run on every tick, the minute step and the clock check after it.
class TickingWatch : public Watch {
public:
    explicit TickingWatch(const Recording& r) : Watch(r) {
        std::size_t change = 0;
        std::size_t slotChange = 0;
        for (now = kFrameIntervalMs; now <= recording.endMs; now += kFrameIntervalMs) {
            for (; change < r.changes.size() && r.changes[change].atMs <= now; ++change) {
                take(r.changes[change]);
                state.holdOffFrames = r.changes[change].holdOff;
            }
            run(now >= m_restUntil);
            if (now - minuteMark > kMinuteStepMs) {
                minuteMark = now;
                ++minuteSteps;
                state.holdOffFrames = 1;
            }
            for (; slotChange < r.slotChanges.size() && r.slotChanges[slotChange].first <= now;
                 ++slotChange) {
                takeSlot(r.slotChanges[slotChange].second);
                state.holdOffFrames = 1;
            }
        }
    }

private:
    void rest(int ms) override { m_restUntil = now + ms; }
    std::int64_t m_restUntil = 0;
};

// The new schedule, as the main loop drives it: a run scheduled for each arrival, the user's
// changes as they come, and the minute step and the clock check at their deadlines.
class CountingWatch : public Watch {
public:
    explicit CountingWatch(const Recording& r) : Watch(r) {
        timer.start(0);
        std::size_t arrival = 0;
        std::size_t change = 0;
        std::size_t slotChange = 0;
        const auto timeOf = [](const auto& list, std::size_t index, auto at) {
            return index < list.size() ? at(list[index]) : INT64_MAX;
        };
        while (true) {
            const std::int64_t nextArrival =
                timeOf(r.arrivals, arrival, [](std::int64_t at) { return at; });
            const std::int64_t nextChange =
                timeOf(r.changes, change, [](const UserChange& c) { return c.atMs; });
            const std::int64_t nextSlot =
                timeOf(r.slotChanges, slotChange, [](const auto& c) { return c.first; });
            const std::int64_t nextMinute = timer.firstTickAfter(minuteMark + kMinuteStepMs);
            const std::int64_t next = std::min(
                {m_runAt.value_or(INT64_MAX), nextArrival, nextChange, nextSlot, nextMinute});
            if (next > recording.endMs)
                break;
            now = next;
            if (m_runAt == now) {
                m_runAt.reset();
                if (!timer.runIfDue(now, false))
                    scheduleRun();
                else
                    scheduleOwedRun();
            } else if (nextArrival == now) {
                ++arrival;
                scheduleRun();
            } else if (nextChange == now) {
                take(r.changes[change]);
                timer.holdOff(now, r.changes[change++].holdOff, false);
                scheduleOwedRun();
            } else {
                timer.passTickDueNow(now, false);
                if (now - minuteMark > kMinuteStepMs) {
                    minuteMark = now;
                    ++minuteSteps;
                    timer.holdOff(now, 1, false);
                }
                if (nextSlot == now) {
                    takeSlot(r.slotChanges[slotChange++].second);
                    timer.holdOff(now, 1, false);
                }
                scheduleOwedRun();
            }
        }
    }

private:
    void rest(int ms) override { timer.rest(ms); }
    void scheduleAt(std::int64_t at) {
        if (!m_runAt || *m_runAt > at)
            m_runAt = at;
    }
    void scheduleRun() { scheduleAt(now + timer.msUntilRun(now)); }
    void scheduleOwedRun() {
        if (const std::optional<std::int64_t> wait = timer.msUntilOwedRun(now))
            scheduleAt(now + *wait);
    }

    FrameTimer timer{state, [this](bool compares) {
                         m_runAt.reset();
                         return run(compares);
                     }};
    std::optional<std::int64_t> m_runAt;
};

TEST(FrameTimerEquivalence, EveryNewPictureGivesWhatTheTenMillisecondTimerGave) {
    const Recording r = recording();
    const TickingWatch ticking(r);
    const CountingWatch counting(r);
    ASSERT_EQ(ticking.results.size(), r.arrivals.size()) << "every picture was looked at";
    ASSERT_EQ(counting.results.size(), ticking.results.size());
    for (std::size_t i = 0; i < ticking.results.size(); ++i)
        ASSERT_EQ(counting.results[i], ticking.results[i]);

    // The sequence holds what it is meant to: triggers, held-off pictures, both minute steps
    // and both slot changes.
    const auto count = [&](auto predicate) {
        return std::count_if(ticking.results.begin(), ticking.results.end(), predicate);
    };
    EXPECT_GE(count([](const PictureResult& p) { return p.triggered; }), 5);
    EXPECT_GE(count([](const PictureResult& p) { return p.holdOff > 1; }), 10);
    EXPECT_EQ(ticking.results.back().minuteSteps, 2);
    EXPECT_EQ(ticking.results.back().slot, 2);
}

// The ticks between two runs, each of which would have found the same picture. A run here
// notes only whether it compares, and the hold-off and warm-up it finds.
struct Ticks : ::testing::Test {
    DetectionState state;
    std::vector<bool> runs;
    std::vector<std::pair<std::int32_t, int>> found;
    FrameTimer timer{state, [this](bool compares) {
                         runs.push_back(compares);
                         found.emplace_back(state.holdOffFrames, state.warmUpFrames);
                         return true;
                     }};
};

TEST_F(Ticks, PassedTicksLowerTheHoldOffAndCountTowardsTheWarmUp) {
    timer.start(1000);
    state.holdOffFrames = 7;
    ASSERT_TRUE(timer.runIfDue(1003, false));  // tick 1
    EXPECT_EQ(runs, std::vector<bool>{true});
    timer.countPassedTicks(1045, false);  // ticks 2, 3, 4 passed; 5 is due at 1050
    EXPECT_EQ(state.holdOffFrames, 4);
    EXPECT_EQ(state.warmUpFrames, 3);
    timer.countPassedTicks(2000, false);
    EXPECT_EQ(state.holdOffFrames, 0);
    EXPECT_EQ(state.warmUpFrames, 4);
}

TEST_F(Ticks, HeldTicksCountNothing) {
    timer.start(0);
    state.holdOffFrames = 50;
    timer.countPassedTicks(300, true);
    EXPECT_EQ(state.holdOffFrames, 50);
    EXPECT_EQ(state.warmUpFrames, 0);
    ASSERT_TRUE(timer.runIfDue(305, true));
    EXPECT_EQ(runs, std::vector<bool>{false}) << "a held run only shows the picture";
}

TEST_F(Ticks, OneRunATickAndTheNextWhenItsPeriodBegins) {
    timer.start(0);
    ASSERT_TRUE(timer.runIfDue(21, false));  // tick 3
    EXPECT_FALSE(timer.runIfDue(29, false));
    EXPECT_EQ(timer.msUntilRun(29), 2);
    EXPECT_TRUE(timer.runIfDue(31, false));
    EXPECT_EQ(runs.size(), 2u);
}

// A change of the values sets a hold-off of one: the run that makes the working frame anew
// must take it, not a tick counted before it, however late the main loop gets to the run.
TEST_F(Ticks, TheRunOwedToAChangeTakesTheTickAfterItHoweverLate) {
    timer.start(0);
    ASSERT_TRUE(timer.runIfDue(5, false));  // tick 1
    timer.holdOff(12, 1, false);
    EXPECT_EQ(timer.msUntilOwedRun(12), 8) << "at the time of tick 2";
    // The main loop gets to the run late, and something else counts the ticks first.
    timer.countPassedTicks(95, false);
    EXPECT_EQ(state.warmUpFrames, 0) << "no tick after the owed one is counted before its run";
    ASSERT_TRUE(timer.runIfDue(95, false));
    EXPECT_EQ(found.back(), std::make_pair(1, 0)) << "with the change's hold-off";
    timer.countPassedTicks(95, false);
    EXPECT_EQ(state.warmUpFrames, 4) << "ticks 3 to 9 were counted after it";
    EXPECT_TRUE(timer.runIfDue(95, false)) << "tick 10";
    EXPECT_FALSE(timer.runIfDue(99, false)) << "tick 11 waits for its period";
}

TEST_F(Ticks, TicksWhileTheDetectionRestsOnlyShowThePicture) {
    timer.start(0);
    ASSERT_TRUE(timer.runIfDue(10, false));  // tick 1, which triggered
    timer.rest(500);
    state.holdOffFrames = 100;
    timer.countPassedTicks(505, false);  // ticks 2 to 50 rest
    EXPECT_EQ(state.holdOffFrames, 100);
    ASSERT_TRUE(timer.runIfDue(505, false));  // tick 51, at 510
    EXPECT_EQ(runs, (std::vector<bool>{true, true}));
    timer.rest(500);
    ASSERT_TRUE(timer.runIfDue(600, false));
    EXPECT_FALSE(runs.back());
}

}  // namespace
