#include "station/core/frame_store.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace vantry::station {
namespace {

using namespace std::chrono_literals;

class ManualClock final : public Clock {
public:
    int64_t nowSeconds() const override { return now.load(); }
    std::atomic<int64_t> now { 5000 };
};

std::vector<uint8_t> frameOf(size_t size, uint8_t value) { return std::vector<uint8_t>(size, value); }

TEST(FrameStore, StampsCountFramesWithinTheirSecond)
{
    ManualClock clock;
    FrameStore store(clock);
    const auto a = frameOf(100, 1);
    store.deliver(a.data(), a.size());
    EXPECT_EQ(store.newestStamp(), (FrameStamp { 5000, 0 }));
    store.deliver(a.data(), a.size());
    EXPECT_EQ(store.newestStamp(), (FrameStamp { 5000, 1 }));
    clock.now = 5001;
    store.deliver(a.data(), a.size());
    EXPECT_EQ(store.newestStamp(), (FrameStamp { 5001, 0 }));
}

TEST(FrameStore, GetNewestHandsOutEachFrameOnceWithItsBytes)
{
    ManualClock clock;
    FrameStore store(clock);
    FrameStamp seen;
    std::vector<uint8_t> copy;
    EXPECT_EQ(store.GetNewest(&copy, seen, 0ms), 0u) << "nothing stored yet";

    const auto small = frameOf(10, 7);
    store.deliver(small.data(), small.size());
    EXPECT_EQ(store.GetNewest(&copy, seen, 0ms), 10u);
    EXPECT_EQ(copy, small);
    EXPECT_EQ(store.GetNewest(&copy, seen, 0ms), 0u) << "same stamp as last seen";

    const auto large = frameOf(5000, 9); // the store grows for a larger frame
    store.deliver(large.data(), large.size());
    FrameStamp stampsOnly = seen;
    EXPECT_EQ(store.GetNewest(nullptr, stampsOnly, 0ms), 5000u);
    EXPECT_EQ(store.GetNewest(&copy, seen, 0ms), 5000u);
    EXPECT_EQ(copy, large);

    const FrameFormat tiny = makeFrameFormat(VideoSubtype::YUY2, 2, 2); // a new format arrives with its first frame
    store.deliver(small.data(), small.size(), &tiny);
    FrameFormat format;
    EXPECT_EQ(store.GetNewest(&copy, seen, 0ms, &format), 10u) << "a smaller frame reports its own length";
    EXPECT_EQ(format, tiny) << "the format comes with its frame";
    EXPECT_EQ(store.format(), tiny);
    EXPECT_EQ(store.Size(), 10u);
}

TEST(FrameStore, WaitsForAFreshFrameAfterResetButNoLongerThanAsked)
{
    ManualClock clock;
    FrameStore store(clock);
    const auto frame = frameOf(64, 3);
    store.deliver(frame.data(), frame.size());
    store.Reset();
    EXPECT_EQ(store.users(), 1);

    FrameStamp seen = store.newestStamp();
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(store.GetNewest(nullptr, seen, 100ms), 0u);
    EXPECT_GE(std::chrono::steady_clock::now() - begin, 90ms);

    std::thread producer([&] {
        std::this_thread::sleep_for(50ms);
        store.deliver(frame.data(), frame.size());
    });
    const auto waitBegin = std::chrono::steady_clock::now();
    EXPECT_EQ(store.GetNewest(nullptr, seen, FrameStore::kDefaultWait), 64u);
    EXPECT_LT(std::chrono::steady_clock::now() - waitBegin, 1500ms) << "woken by the frame, not by the timeout";
    producer.join();

    store.Release();
    store.Release();
    EXPECT_EQ(store.users(), 0) << "never below zero";
}

TEST(FrameStore, ASlowConsumerNeverDelaysCapture)
{
    FrameStore store;
    const auto frame = frameOf(640 * 480 * 2, 0x80);
    std::atomic<bool> stop { false };
    std::atomic<int> consumed { 0 };
    std::thread consumer([&] {
        FrameStamp seen;
        std::vector<uint8_t> copy;
        while (!stop) {
            if (store.GetNewest(&copy, seen, 50ms) > 0) {
                ++consumed;
                std::this_thread::sleep_for(100ms); // analysis far slower than capture
            }
        }
    });

    auto worst = std::chrono::steady_clock::duration::zero();
    int delivered = 0;
    const auto end = std::chrono::steady_clock::now() + 600ms;
    while (std::chrono::steady_clock::now() < end) {
        const auto begin = std::chrono::steady_clock::now();
        store.deliver(frame.data(), frame.size());
        worst = std::max(worst, std::chrono::steady_clock::now() - begin);
        ++delivered;
        std::this_thread::sleep_for(2ms);
    }
    stop = true;
    consumer.join();

    EXPECT_GT(consumed.load(), 0);
    EXPECT_GT(delivered, 10 * consumed.load()) << "capture ran at its own pace";
    EXPECT_LT(worst, 50ms) << "a delivery waited only for a copy, never for the consumer's work";
}

} // namespace
} // namespace vantry::station
