// vantry: the station. Without a display, or with --headless, it runs without windows.
#include "platform/folders.h"
#include "station/core/station_app.h"
#include "station/ui/main_window.h"
#include "station/ui/screenshot_tour.h"
#include "station/ui/windowed_station.h"
#include "stop_signals.h"

#include <QApplication>
#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void printUsage()
{
    std::fprintf(stderr, "usage: vantry [--headless] [--demo]\n"
                         "  --headless  run without windows; log lines also go to standard error\n"
                         "  --demo      offer demo cameras and use them when no camera has a device\n");
}

bool displayAvailable()
{
    for (const char* name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM" }) {
        const char* value = std::getenv(name);
        if (value && *value)
            return true;
    }
    return false;
}

int runWindowed(int argc, char** argv, const vantry::station::StationOptions& options)
{
    namespace ui = vantry::station::ui;
    QApplication application(argc, argv);
    ui::StderrPrompter unseen;
    const bool offscreen = QGuiApplication::platformName() == QLatin1String("offscreen");
    ui::WindowedStation station(options, { QString::fromStdString(vantry::platform::programFolder()), {},
                                           offscreen ? &unseen : nullptr });
    // A signal closes without the question: whoever sends it has decided.
    vantry::station::StopSignals stopSignals([&station](int) {
        station.close();
        QCoreApplication::quit();
    });
    if (!stopSignals.isInstalled())
        std::fprintf(stderr, "vantry: cannot watch for SIGINT and SIGTERM\n");

    std::string error;
    switch (station.start(&error)) {
    case ui::WindowedStation::Result::AlreadyRunning:
        std::fprintf(stderr, "vantry: a station is already running; it was asked to show itself\n");
        return 0;
    case ui::WindowedStation::Result::ScreenTooSmall:
        std::fprintf(stderr, "vantry: the screen is smaller than 1024x768\n");
        return 1;
    case ui::WindowedStation::Result::Failed:
        std::fprintf(stderr, "vantry: cannot start: %s\n", error.c_str());
        return 1;
    case ui::WindowedStation::Result::Running:
        break;
    }
    if (const char* folder = std::getenv(ui::ScreenshotTour::kEnvironmentVariable); folder && *folder) {
        auto* tour = new ui::ScreenshotTour(station.window(), QString::fromLocal8Bit(folder), [&station] {
            station.close();
            QCoreApplication::quit();
        });
        tour->start();
    }
    const int status = application.exec();
    station.close();
    return status;
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
    if (!headlessAsked) {
        if (displayAvailable())
            return runWindowed(argc, argv, options);
        std::fprintf(stderr, "vantry: no display; running headless\n");
    }
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
