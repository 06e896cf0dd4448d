// vantry: the station. Without a display, or with --headless, it runs without windows.
#include "common/camera_word.h"
#include "platform/endpoint.h"
#include "platform/folders.h"
#include "station/core/hub_messages.h"
#include "station/core/station_app.h"
#include "station/ui/main_window.h"
#include "station/ui/screenshot_tour.h"
#include "station/ui/windowed_station.h"
#include "platform/stop_signals.h"

#include <QApplication>
#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void printUsage()
{
    std::fprintf(stderr, "usage: vantry [--headless] [--demo]\n"
                         "       vantry --send record on|off [CAMERA]\n"
                         "       vantry --send trigger\n"
                         "  --headless  run without windows; log lines also go to standard error\n"
                         "  --demo      offer demo cameras and use them when no camera has a device\n"
                         "  --send      tell the running station: switch a camera's recording (1-4,\n"
                         "              default the selected camera), or fire the manual trigger\n");
}

// vantry --send ...: finds the running station's endpoint and hands it the command.
int sendCommand(int argc, char** argv, int first)
{
    using vantry::station::HeadlessCommand;
    const auto usage = [] {
        printUsage();
        return 2;
    };
    if (first >= argc)
        return usage();
    const std::string what = argv[first];
    HeadlessCommand command = HeadlessCommand::Trigger;
    uint16_t value = 0;
    int camera = -1; // the selected camera
    if (what == "record") {
        if (first + 1 >= argc)
            return usage();
        const std::string state = argv[first + 1];
        if (state != "on" && state != "off")
            return usage();
        command = HeadlessCommand::Record;
        value = state == "on" ? 1 : 0;
        if (first + 2 < argc) {
            const std::string number = argv[first + 2];
            if (number.size() != 1 || number[0] < '1' || number[0] > '4')
                return usage();
            camera = number[0] - '1';
        }
        if (first + 3 < argc)
            return usage();
    } else if (what != "trigger" || first + 1 < argc) {
        return usage();
    }
    const auto station = vantry::platform::findWindow("VYWatch");
    if (station == vantry::platform::kNoWindow) {
        std::fprintf(stderr, "vantry: no running station found\n");
        return 1;
    }
    const uint32_t word = camera < 0 ? value : vantry::common::makeCameraWord(camera, value);
    int32_t result = 0;
    if (!vantry::platform::sendMessage(station, vantry::station::kMsgHeadlessCommand,
                                       static_cast<uint32_t>(command), static_cast<int32_t>(word), 10000, &result)) {
        std::fprintf(stderr, "vantry: the station did not answer\n");
        return 1;
    }
    if (command == HeadlessCommand::Trigger) {
        std::printf("manual trigger: %d camera(s)\n", result);
        return result > 0 ? 0 : 1;
    }
    std::printf("recording %s\n", result ? "on" : "off");
    return (result != 0) == (value != 0) ? 0 : 1;
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
    vantry::platform::StopSignals stopSignals([&station](int) {
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
        if (std::strcmp(argv[i], "--send") == 0) {
            return sendCommand(argc, argv, i + 1);
        } else if (std::strcmp(argv[i], "--headless") == 0) {
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
    // Test hook: shorter record files, so that end-to-end tests need not wait minutes.
    if (const char* seconds = std::getenv("VANTRY_TEST_FILE_SECONDS"))
        options.testFileLengthSeconds = std::max(0, std::atoi(seconds));
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
    vantry::platform::StopSignals stopSignals([&stop](int) { stop(); });
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
