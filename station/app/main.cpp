// vantry: the station. Without a display, or with --headless, it runs without windows.
#include "station/core/station_app.h"
#include "stop_signals.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

void printUsage()
{
    std::fprintf(stderr, "usage: vantry [--headless] [--demo]\n"
                         "  --headless  run without windows; log lines also go to standard error\n"
                         "  --demo      offer demo cameras and use them when no camera has a device\n");
}

} // namespace

int main(int argc, char** argv)
{
    vantry::station::StationOptions options;
    bool headlessAsked = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--headless") == 0) {
            headlessAsked = true;
        } else if (std::strcmp(argv[i], "--demo") == 0) {
            options.demo = true;
        } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            printUsage();
            return 0;
        } else {
            std::fprintf(stderr, "vantry: unknown argument '%s'\n", argv[i]);
            printUsage();
            return 2;
        }
    }
    if (!headlessAsked)
        std::fprintf(stderr, "vantry: this build has no window yet; running headless\n");
    options.headless = true;

    QCoreApplication application(argc, argv);
    vantry::station::StationApp station(options);
    const auto stop = [&station] {
        station.close();
        QCoreApplication::quit();
    };
    // Watching before the start: a stop asked for while the cameras come up waits in the pipe
    // and closes the station as soon as the loop runs.
    vantry::station::StopSignals stopSignals([&stop](int) { stop(); });
    if (!stopSignals.isInstalled())
        std::fprintf(stderr, "vantry: cannot watch for SIGINT and SIGTERM\n");

    std::string error;
    switch (station.start(&error)) {
    case vantry::station::StartResult::AlreadyRunning:
        std::fprintf(stderr, "vantry: a station is already running; it was asked to show itself\n");
        return 0;
    case vantry::station::StartResult::Failed:
        std::fprintf(stderr, "vantry: cannot start: %s\n", error.c_str());
        return 1;
    case vantry::station::StartResult::Running:
        break;
    }
    // The Exit command closes the station the same way; the hub must not be closed inside
    // its own handler, so the close runs from the loop.
    station.hub()->setCloseRequestHandler([&stop] { QTimer::singleShot(0, stop); });

    const int status = application.exec();
    station.close();
    return status;
}
