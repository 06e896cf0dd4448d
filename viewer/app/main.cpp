// vyremote: one viewer per user. A second start brings the first window to the front.
#include "startup_options.h"
#include "platform/stop_signals.h"

#include "platform/endpoint.h"
#include "platform/folders.h"
#include "platform/instance_lock.h"
#include "platform/program_launcher.h"
#include "viewer/viewer_session.h"
#include "viewer_ui/main_window.h"

#include <QApplication>
#include <QThread>

#include <cstdio>
#include <cstdlib>

using namespace vantry;

namespace {

// Asks the running viewer (found twice, half a second apart) to come to the front.
void raiseRunningViewer()
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        const platform::WindowHandle running = platform::findWindow("VYRemote");
        if (running != platform::kNoWindow) {
            platform::postMessage(running, platform::kMsgShowWindow, 1, 0);
            return;
        }
        QThread::msleep(500);
    }
}

} // namespace

int main(int argc, char** argv)
{
    // Without a display the viewer still runs (and records) on the offscreen platform.
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    app.setApplicationName("vyremote");

    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.emplace_back(argv[i]);
    std::string error;
    const auto options = viewer_app::parseStartupOptions(arguments, &error);
    if (!options) {
        std::fprintf(stderr, "vyremote: %s\nusage: vyremote [--connect HOST:PORT[/CAMERA]] [--record]\n", error.c_str());
        return 2;
    }

    platform::InstanceLockFailure failure {};
    const auto instance = platform::InstanceLock::acquire("vyremote", &failure);
    if (!instance && failure == platform::InstanceLockFailure::HeldElsewhere) {
        raiseRunningViewer();
        return 0;
    }

    viewer::ViewerSession session(
        viewer::ViewerPaths { platform::programFolder(), platform::dataFolder(platform::DataFolderOwner::Viewer) });
    session.start();
    viewer_ui::MainWindow window(session);
    if (QGuiApplication::platformName() == "offscreen") {
        // Nobody can answer a dialog on a box without a display: messages go to standard
        // error, a password request is declined and a question answered No.
        session.setMessageSink([](const std::string& text) { std::fprintf(stderr, "vyremote: %s\n", text.c_str()); });
        session.setPasswordPrompt([]() -> std::optional<std::string> {
            std::fprintf(stderr, "vyremote: the station asks for a password; no display to ask for it\n");
            return std::nullopt;
        });
        session.setQuestionPrompt([](const std::string&) { return false; });
    }

    auto endpoint = platform::Endpoint::create("VYRemote", "", [&](const platform::Message& message) -> int32_t {
        switch (message.msg) {
        case platform::kMsgShowWindow:
            if (message.wParam)
                window.bringToFront();
            else
                window.hide();
            return 1;
        case platform::kMsgClose:
            window.close();
            return 1;
        default:
            return session.handlePlayerMessage(message.msg, message.wParam);
        }
    });
    if (!endpoint)
        std::fprintf(stderr, "vyremote: the record player will not reach this viewer (no message endpoint)\n");

    if (platform::requestedShowMode() != platform::ShowMode::Hidden)
        window.show();
    if (options->record)
        session.setRecordAllowed(true);
    if (options->host && !window.connectDirect(QString::fromStdString(*options->host), options->port, options->camera)) {
        std::fprintf(stderr, "vyremote: cannot connect to %s:%u yet; trying again every 5 seconds\n",
                     options->host->c_str(), options->port);
        session.retryLater();
    }
    // A service manager stops the viewer by signal: the recording is finished and indexed
    // and the settings saved, as when the window closes.
    platform::StopSignals stopSignals([&](int) {
        session.shutdown();
        QApplication::quit();
    });
    const int result = app.exec();
    endpoint.reset();
    return result;
}
