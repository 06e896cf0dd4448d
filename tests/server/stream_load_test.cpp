// Sixteen viewers of one camera at 15 frames a second for twenty seconds over loopback, with
// a seventeenth that stops reading at once: the sixteen get their frames without gaps
// beyond the pacing, the one is let go, and the server's memory stays flat.
#include "server_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace vantry::server {
namespace {

using namespace test;
using namespace std::chrono_literals;

size_t residentBytes()
{
    std::ifstream in("/proc/self/statm");
    size_t pages = 0, resident = 0;
    in >> pages >> resident;
    return resident * static_cast<size_t>(::sysconf(_SC_PAGESIZE));
}

TEST(StreamLoad, SixteenViewersAndOneThatStopsReading)
{
    constexpr int kViewers = 16;
    constexpr auto kDuration = 20s;
    ServerLimits limits;
    limits.stallLimit = 3000ms;
    ServerFixture f({ 0 }, 320, 240, 17, limits);
    TestCamera camera(f.station.writer(0), 320 * 240 * 3 / 2, 30ms);

    // The one that stops reading: it only says hello and asks for the stream.
    TestClient stalled(f.port, 4096);
    ASSERT_TRUE(stalled.handshake(0, { 2, 0, 15, 0 }));

    std::vector<std::unique_ptr<TestClient>> viewers;
    for (int i = 0; i < kViewers; ++i) {
        viewers.push_back(std::make_unique<TestClient>(f.port));
        ASSERT_TRUE(viewers.back()->handshake(0, { 5, 0, 15, 0 })) << i;
    }

    using Clock = std::chrono::steady_clock;
    std::vector<int> frames(kViewers, 0);
    std::vector<Clock::duration> worstGap(kViewers, Clock::duration::zero());
    std::vector<Clock::time_point> last(kViewers);
    const auto start = Clock::now();
    size_t memoryAfterWarmUp = 0;
    bool stalledDropped = false;
    double stalledAfter = 0;
    while (Clock::now() - start < kDuration) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        for (int i = 0; i < kViewers; ++i) {
            for (const Message& m : viewers[static_cast<size_t>(i)]->take(0)) {
                if (m.code != MSG_KEY_FRAME && m.code != MSG_DELTA_FRAME)
                    continue;
                const auto now = Clock::now();
                if (frames[static_cast<size_t>(i)] > 0)
                    worstGap[static_cast<size_t>(i)] = std::max(worstGap[static_cast<size_t>(i)], now - last[static_cast<size_t>(i)]);
                last[static_cast<size_t>(i)] = now;
                ++frames[static_cast<size_t>(i)];
            }
        }
        if (!stalledDropped && f.server.connectionCount() == kViewers) {
            stalledDropped = true;
            stalledAfter = std::chrono::duration<double>(Clock::now() - start).count();
        }
        if (memoryAfterWarmUp == 0 && Clock::now() - start > 5s)
            memoryAfterWarmUp = residentBytes();
        std::this_thread::sleep_for(2ms);
    }
    const size_t memoryAtEnd = residentBytes();

    const double seconds = std::chrono::duration<double>(kDuration).count();
    for (int i = 0; i < kViewers; ++i) {
        SCOPED_TRACE(i);
        const double rate = frames[static_cast<size_t>(i)] / seconds;
        EXPECT_GT(rate, 13.0);
        EXPECT_LT(rate, 16.0);
        // Pacing is 66 ms; a gap of more than five periods is a stall, not pacing.
        EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(worstGap[static_cast<size_t>(i)]).count(), 333);
    }
    EXPECT_TRUE(stalledDropped) << "the viewer that stopped reading was not let go";
    EXPECT_LT(memoryAtEnd, memoryAfterWarmUp + (16u << 20)) << memoryAfterWarmUp << " -> " << memoryAtEnd;
    const auto fewest = *std::min_element(frames.begin(), frames.end());
    const auto worst = *std::max_element(worstGap.begin(), worstGap.end());
    std::printf("16 viewers: fewest frames %d (%.1f fps), worst gap %lld ms, stalled viewer dropped after %.1f s, "
                "RSS %.1f MB after warm-up, %.1f MB at end\n",
                fewest, fewest / seconds, static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(worst).count()),
                stalledAfter, memoryAfterWarmUp / 1048576.0, memoryAtEnd / 1048576.0);
}

} // namespace
} // namespace vantry::server
