#include "station/core/motion_tracker.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vantry::station {
namespace {

struct Posted {
    MotionEvent event;
    uint32_t value;
    int64_t atFrame; // time of the frame that caused it
    friend bool operator==(const Posted&, const Posted&) = default;
};

std::ostream& operator<<(std::ostream& out, const Posted& p)
{
    return out << "{" << messageOf(p.event) << " value " << p.value << " at t=" << p.atFrame << "}";
}

class Collector final : public MotionListener {
public:
    void onMotionEvent(int, MotionEvent event, uint32_t value) override { posted.push_back({ event, value, now }); }
    std::vector<Posted> posted;
    int64_t now = 0;
};

struct Frame {
    int64_t t;
    bool motion;
};

struct Timeline {
    std::string name;
    bool ignoreShort;
    int shortLength;
    std::vector<Frame> frames;
    std::vector<Posted> expected; // blink messages left out: they have their own test
    std::vector<MotionPeriod> periods;
};

// Five frames a second from `from` to `to` inclusive (whole-second stamps repeat).
std::vector<Frame> frames(int64_t from, int64_t to, bool motion)
{
    std::vector<Frame> out;
    for (int64_t t = from; t <= to; ++t)
        for (int i = 0; i < 5; ++i)
            out.push_back({ t, motion });
    return out;
}

std::vector<Frame> concat(std::initializer_list<std::vector<Frame>> parts)
{
    std::vector<Frame> out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

class TrackerTimeline : public ::testing::TestWithParam<Timeline> {};

TEST_P(TrackerTimeline, PostsTheEventsOfTheTimeline)
{
    const Timeline& c = GetParam();
    Collector collector;
    MotionTracker tracker(1, &collector);
    tracker.setShortMotion(c.ignoreShort, c.shortLength);
    for (const auto& f : c.frames) {
        collector.now = f.t;
        tracker.onFrame(f.motion, f.t);
    }
    std::vector<Posted> withoutBlink;
    for (const auto& p : collector.posted)
        if (p.event != MotionEvent::IndicatorBlink)
            withoutBlink.push_back(p);
    EXPECT_EQ(withoutBlink, c.expected);
    EXPECT_EQ(tracker.periods(), c.periods);
}

using E = MotionEvent;

INSTANTIATE_TEST_SUITE_P(
    Timelines, TrackerTimeline,
    ::testing::Values(
        Timeline { "HoldEndsAtFiveSecondsAfterLastMotion", false, 1,
                   concat({ frames(10, 20, true), frames(21, 26, false) }),
                   { { E::MotionStarted, 10, 10 }, { E::EventBegin, 10, 10 }, { E::MotionIdle, 20, 25 },
                     { E::EventEnd, 20, 25 } },
                   { { 0, 10, 20 } } },
        Timeline { "NoEndUpToFourSecondsAfter", false, 1, concat({ frames(18, 20, true), frames(21, 24, false) }),
                   { { E::MotionStarted, 18, 18 }, { E::EventBegin, 18, 18 } }, {} },
        Timeline { "MotionWithinHoldKeepsThePeriodOpen", false, 1,
                   concat({ frames(10, 10, true), frames(11, 14, false), frames(15, 15, true), frames(16, 20, false) }),
                   { { E::MotionStarted, 10, 10 }, { E::EventBegin, 10, 10 }, { E::MotionIdle, 15, 20 },
                     { E::EventEnd, 15, 20 } },
                   { { 0, 10, 15 } } },
        Timeline { "IgnoreShortTwoSecondsRaisesNothing", true, 1,
                   concat({ frames(10, 11, true), frames(12, 17, false) }),
                   { { E::MotionStarted, 10, 10 }, { E::MotionIdle, 11, 16 } }, { { 0, 10, 11 } } },
        Timeline { "IgnoreShortThreeSecondsRaisesAtTwelve", true, 1,
                   concat({ frames(10, 12, true), frames(13, 18, false) }),
                   { { E::MotionStarted, 10, 10 }, { E::EventBegin, 10, 12 }, { E::MotionIdle, 12, 17 },
                     { E::EventEnd, 12, 17 } },
                   { { 0, 10, 12 } } },
        Timeline { "OneSecondMotionLastsAtLeastOneSecond", false, 1, concat({ frames(30, 30, true), frames(31, 35, false) }),
                   { { E::MotionStarted, 30, 30 }, { E::EventBegin, 30, 30 }, { E::MotionIdle, 30, 35 },
                     { E::EventEnd, 30, 35 } },
                   { { 0, 30, 31 } } },
        Timeline { "QuietFramesAloneDoNothing", false, 1, frames(1, 10, false), {}, {} },
        Timeline { "ClockSetBackDoesNotHoldTheEventOpen", false, 1,
                   concat({ frames(5000, 5001, true), frames(100, 105, false) }),
                   { { E::MotionStarted, 5000, 5000 }, { E::EventBegin, 5000, 5000 }, { E::MotionIdle, 100, 105 },
                     { E::EventEnd, 100, 105 } },
                   { { 0, 5000, 5001 } } }),
    [](const auto& row) { return row.param.name; });

TEST(MotionTracker, BlinksWhileMotionPausesAndStopsBlinkingWhenItReturns)
{
    Collector collector;
    MotionTracker tracker(0, &collector);
    tracker.onFrame(true, 10);
    tracker.onFrame(false, 10);
    tracker.onFrame(false, 11);
    tracker.onFrame(true, 12);
    std::vector<uint32_t> blinks;
    for (const auto& p : collector.posted)
        if (p.event == MotionEvent::IndicatorBlink)
            blinks.push_back(p.value);
    EXPECT_EQ(blinks, (std::vector<uint32_t> { 1, 0 }));
}

TEST(MotionTracker, StopEndsTheOpenPeriodAndRaisesEndOnlyForARaisedEvent)
{
    Collector collector;
    MotionTracker tracker(0, &collector);
    tracker.setShortMotion(true, 5);
    tracker.onFrame(true, 100);
    tracker.onFrame(true, 102);
    tracker.stop();
    ASSERT_EQ(collector.posted.size(), 2u);
    EXPECT_EQ(collector.posted[1].event, MotionEvent::MotionIdle);
    EXPECT_FALSE(tracker.inMotion());
    ASSERT_EQ(tracker.periods().size(), 1u);
    EXPECT_EQ(tracker.periods()[0], (MotionPeriod { 0, 100, 102 }));

    collector.posted.clear();
    tracker.setShortMotion(false, 1);
    tracker.onFrame(true, 200);
    tracker.stop();
    ASSERT_EQ(collector.posted.size(), 4u);
    EXPECT_EQ(collector.posted[3].event, MotionEvent::EventEnd);
    tracker.stop();
    EXPECT_EQ(collector.posted.size(), 4u) << "a second stop has nothing to end";
}

TEST(MotionTracker, NewRecordFileStartsAnEmptyListAndContinuesAnOpenPeriod)
{
    MotionTracker tracker(0, nullptr);
    tracker.onFrame(true, 10);
    tracker.onFrame(false, 15);
    tracker.onFrame(true, 20);
    tracker.startNewFile(22);
    EXPECT_TRUE(tracker.periods().empty());
    tracker.onFrame(true, 23);
    tracker.onFrame(false, 28);
    ASSERT_EQ(tracker.periods().size(), 1u);
    EXPECT_EQ(tracker.periods()[0], (MotionPeriod { 0, 22, 23 }));
}

} // namespace
} // namespace vantry::station
