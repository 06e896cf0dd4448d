// The stream server's cost per viewer and its latency, over loopback with the station played
// by the benchmark.
//   CPU per viewer: process CPU time while N viewers of one camera stream at 15 fps, less the
//   time of the same run without viewers (the picture writer), divided by N and the seconds.
//   Latency: pictures are written every 200 ms; each frame a viewer receives is the newest
//   picture, so the time from that picture's write to the frame's arrival is the server's
//   latency from capture to the frame on the wire (loopback adds microseconds). It includes
//   the wait for the viewer's next frame slot (at most one period).
// usage: server_bench [seconds per run, default 10]
#include "server_test_support.h"

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <mutex>

using namespace vantry;
using namespace vantry::server;
using namespace vantry::server::test;
using Clock = std::chrono::steady_clock;

namespace {

double cpuSeconds()
{
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Run {
    double cpu = 0;
    double fps = 0;
};

// N viewers at 15 fps of a width x height I420 camera written every 30 ms.
Run streamRun(int viewers, int width, int height, int seconds)
{
    ServerFixture f({ 0 }, width, height, 64);
    const size_t frameBytes = static_cast<size_t>(width * height * 3 / 2);
    std::vector<std::unique_ptr<TestClient>> clients;
    for (int i = 0; i < viewers; ++i) {
        clients.push_back(std::make_unique<TestClient>(f.port));
        if (!clients.back()->handshake(0, { 5, 0, 15, 0 }))
            std::fprintf(stderr, "handshake %d failed\n", i);
    }
    TestCamera camera(f.station.writer(0), frameBytes, std::chrono::milliseconds(30));
    // Warm up, then drop what waited in the sockets meanwhile.
    pumpEvents(std::chrono::milliseconds(500));
    const auto drainUntil = Clock::now() + std::chrono::milliseconds(200);
    while (Clock::now() < drainUntil)
        for (auto& client : clients)
            client->take(1);
    const double cpuStart = cpuSeconds();
    const auto start = Clock::now();
    uint64_t frames = 0;
    while (Clock::now() - start < std::chrono::seconds(seconds)) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        for (auto& client : clients)
            for (const Message& m : client->take(0))
                frames += (m.code == MSG_KEY_FRAME || m.code == MSG_DELTA_FRAME) ? 1 : 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    Run run;
    run.cpu = cpuSeconds() - cpuStart;
    run.fps = viewers > 0 ? static_cast<double>(frames) / seconds / viewers : 0;
    return run;
}

void latencyRun(int width, int height, int seconds)
{
    ServerFixture f({ 0 }, width, height);
    TestClient client(f.port);
    client.handshake(0, { 5, 0, 15, 0 });
    const size_t frameBytes = static_cast<size_t>(width * height * 3 / 2);
    std::mutex mutex;
    Clock::time_point lastWrite {};
    std::atomic<bool> running { true };
    std::thread writer([&] {
        uint32_t count = 0;
        int phase = 0;
        while (running) {
            const auto picture = makePicture(frameBytes, phase++);
            {
                std::lock_guard lock(mutex);
                f.station.writer(0).write(picture, { static_cast<uint32_t>(std::time(nullptr)), count++ });
                lastWrite = Clock::now();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
    });
    std::vector<double> latencies;
    const auto start = Clock::now();
    while (Clock::now() - start < std::chrono::seconds(seconds)) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        for (const Message& m : client.take(1)) {
            if (m.code != MSG_KEY_FRAME && m.code != MSG_DELTA_FRAME)
                continue;
            std::lock_guard lock(mutex);
            latencies.push_back(std::chrono::duration<double, std::milli>(Clock::now() - lastWrite).count());
        }
    }
    running = false;
    writer.join();
    if (latencies.size() > 2)
        latencies.erase(latencies.begin()); // the first frame waited for the stream to start
    std::sort(latencies.begin(), latencies.end());
    double sum = 0;
    for (double l : latencies)
        sum += l;
    if (latencies.empty())
        return;
    std::printf("latency %dx%d at 15 fps: %zu frames, mean %.1f ms, median %.1f ms, p95 %.1f ms, max %.1f ms\n", width,
                height, latencies.size(), sum / static_cast<double>(latencies.size()), latencies[latencies.size() / 2],
                latencies[latencies.size() * 95 / 100], latencies.back());
}

} // namespace

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? std::max(2, std::atoi(argv[1])) : 10;
    application();
    for (const auto& [width, height] : { std::pair { 320, 240 }, std::pair { 640, 480 } }) {
        const Run idle = streamRun(0, width, height, seconds);
        for (int viewers : { 1, 4, 16 }) {
            const Run run = streamRun(viewers, width, height, seconds);
            const double perViewer = (run.cpu - idle.cpu) / seconds / viewers * 100.0;
            std::printf("%dx%d, %2d viewers at 15 fps: %.1f fps each, CPU %.2f%% of a core per viewer\n", width, height,
                        viewers, run.fps, perViewer);
        }
        latencyRun(width, height, seconds);
    }
    return 0;
}
