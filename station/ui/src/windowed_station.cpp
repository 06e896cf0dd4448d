#include "station/ui/windowed_station.h"

#include "station/core/station_hub.h"
#include "station/ui/dialog_launcher.h"
#include "station/ui/main_window.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScreen>
#include <QSplashScreen>
#include <QThread>
#include <QTimer>

namespace vantry::station::ui {

WindowedStation::WindowedStation(StationOptions options, Environment environment)
    : options_(std::move(options))
    , environment_(std::move(environment))
    , prompter_(environment_.prompter ? environment_.prompter : &messageBoxes_)
{
}

WindowedStation::~WindowedStation()
{
    close();
    // The station goes before the window it reports to.
    station_.reset();
    window_.reset();
}

WindowedStation::Result WindowedStation::start(std::string* error)
{
    const auto fail = [error](Result result, std::string text) {
        if (error)
            *error = std::move(text);
        return result;
    };
    const QString skinFolder = environment_.programFolder + "/ui_s";
    QSize screen = environment_.screenSize.value_or(QSize());
    if (!environment_.screenSize) {
        if (QScreen* primary = QGuiApplication::primaryScreen())
            screen = primary->size();
    }
    const QSize needed = Skin::readWindowSize(skinFolder).expandedTo(QSize(1024, 768));
    if (const int message = checkScreenSize(screen, needed); message != 0) {
        prompter_->inform(nullptr, message, UiTexts::text(message));
        return fail(Result::ScreenTooSmall, "the screen is smaller than the window");
    }
    QString skinError;
    if (!skin_.load(skinFolder, &skinError)) {
        prompter_->inform(nullptr, text_ids::kNotInstalled, UiTexts::text(text_ids::kNotInstalled));
        return fail(Result::Failed, skinError.toStdString());
    }
    texts_.chooseLanguage(environment_.programFolder, QLocale::system());

    // The splash stays while the cameras come up, and at least half a second.
    std::unique_ptr<QSplashScreen> splash;
    const QPixmap splashPicture(environment_.programFolder + "/Splash.bmp");
    if (!splashPicture.isNull() && !environment_.prompter) {
        splash = std::make_unique<QSplashScreen>(splashPicture, Qt::WindowStaysOnTopHint);
        splash->show();
        QElapsedTimer shown;
        shown.start();
        while (shown.elapsed() < 500) {
            QApplication::processEvents(QEventLoop::AllEvents, 50);
            QThread::msleep(20);
        }
    }

    window_ = std::make_unique<MainWindow>(skin_, texts_, *prompter_);
    MainWindow* window = window_.get();
    options_.headless = false;
    options_.view = window;
    options_.loginGate = [window] { return window->runLoginDialog(); };
    station_ = std::make_unique<StationApp>(options_);
    std::string startError;
    switch (station_->start(&startError)) {
    case StartResult::AlreadyRunning:
        station_.reset();
        window_.reset();
        return Result::AlreadyRunning;
    case StartResult::Failed:
        station_.reset();
        window_.reset();
        return fail(Result::Failed, startError);
    case StartResult::Running:
        break;
    }
    StationHub* hub = station_->hub();
    window->attachHub(hub);
    window->setCloseHandler([this] {
        if (station_)
            station_->close();
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    });
    // Exit from anywhere asks the same question as the window's close button; the hub must
    // not be closed inside its own handler.
    hub->setCloseRequestHandler([window] { QTimer::singleShot(0, window, [window] { window->requestClose(); }); });
    window->show();
    if (splash)
        splash->finish(window);
    window->raiseWindow();
    bool anyDevice = false;
    for (int camera = 0; camera < 4; ++camera)
        if (CameraChannel* channel = hub->channel(camera); channel && channel->hasVideoDevice())
            anyDevice = true;
    if (!anyDevice)
        QTimer::singleShot(0, window, [window] { DialogLauncher(window).openDevices(true); });
    return Result::Running;
}

void WindowedStation::close()
{
    if (station_)
        station_->close();
}

} // namespace vantry::station::ui
