// vyvserver: the stream server. The station starts it hidden; it binds to the station, listens
// for viewers when the station allows it and serves them the station's cameras. With a
// display it has its connection list window; without one it runs on a core application.
#include "connection_list_window.h"

#include "common/text_log.h"
#include "platform/endpoint.h"
#include "platform/folders.h"
#include "platform/program_launcher.h"
#include "server/stream_server.h"

#include <QApplication>
#include <QCoreApplication>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <unistd.h>

namespace {

constexpr const char* kServerClass = "VYVServer";
constexpr const char* kWindowTitle = "Current Connections from Remote Programs";
constexpr uint32_t kCommandCloseWindow = 32773;
constexpr uint32_t kMsgCommand = 0x0111;

bool displayAvailable()
{
    const auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value && *value;
    };
    return set("QT_QPA_PLATFORM") || set("DISPLAY") || set("WAYLAND_DISPLAY");
}

} // namespace

int main(int argc, char** argv)
{
    std::signal(SIGPIPE, SIG_IGN);
    const bool withWindow = displayAvailable();
    std::unique_ptr<QCoreApplication> application;
    if (withWindow)
        application = std::make_unique<QApplication>(argc, argv);
    else
        application = std::make_unique<QCoreApplication>(argc, argv);

    vantry::common::TextLog log;
    const std::string dataFolder = vantry::platform::dataFolder();
    if (!dataFolder.empty() && !log.Open(dataFolder + "/vyvserver.Log"))
        std::fprintf(stderr, "vyvserver: %s\n", log.LastError().c_str());

    std::unique_ptr<vantry::server::StationPort> station = vantry::server::makeEndpointStationPort();
    std::unique_ptr<vantry::server::StreamServer> server;
    std::unique_ptr<vantry::server::ConnectionListWindow> window;

    std::string error;
    auto endpoint = vantry::platform::Endpoint::create(kServerClass, kWindowTitle, [&](const vantry::platform::Message& message) -> int32_t {
        if (!server)
            return 0;
        switch (message.msg) {
        case vantry::platform::kMsgClose:
            server->close();
            QCoreApplication::quit();
            return 1;
        case vantry::platform::kMsgShowWindow:
            if (window)
                window->setVisible(message.wParam != 0);
            return 1;
        case kMsgCommand:
            if ((message.wParam & 0xFFFF) == kCommandCloseWindow && window)
                window->hide();
            return 1;
        default:
            return server->stationMessage(message.msg, message.wParam, message.lParam);
        }
    }, &error);
    if (!endpoint) {
        log.Write("Cannot open the endpoint VYVServer: " + error);
        std::fprintf(stderr, "vyvserver: cannot open its endpoint: %s\n", error.c_str());
        return 1;
    }
    log.Write("vyvserver starts.");
    server = std::make_unique<vantry::server::StreamServer>(*station, endpoint->handle(), &log);
    if (withWindow) {
        window = std::make_unique<vantry::server::ConnectionListWindow>(*server);
        server->setListChanged([&window] {
            if (window && window->isVisible())
                window->rebuild();
        });
        if (vantry::platform::requestedShowMode() != vantry::platform::ShowMode::Hidden)
            window->show();
    }
    server->start();

    // Started by a station that has ended while no station runs (it closed before this
    // server could be found, or it crashed): nobody will ask for this server again, so it
    // ends instead of lingering. A station started later starts its own.
    // A station starts its server hidden; the station may even be gone before this line runs,
    // so a hidden server also ends after five seconds without any station.
    const pid_t starter = ::getppid();
    const bool startedByStation = vantry::platform::requestedShowMode() == vantry::platform::ShowMode::Hidden;
    int secondsWithoutStation = 0;
    QTimer orphanWatch;
    orphanWatch.setInterval(1000);
    QObject::connect(&orphanWatch, &QTimer::timeout, [&] {
        if (vantry::platform::findWindow("VYWatch") != vantry::platform::kNoWindow) {
            secondsWithoutStation = 0;
            return;
        }
        ++secondsWithoutStation;
        if (::getppid() != starter || (startedByStation && secondsWithoutStation >= 5)) {
            log.Write("The program that started the server has ended and no station runs; the server ends.");
            QCoreApplication::quit();
        }
    });
    orphanWatch.start();
    const int result = application->exec();
    server->close();
    window.reset();
    server.reset();
    endpoint.reset();
    log.Write("vyvserver ends.");
    return result;
}
