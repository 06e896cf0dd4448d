#include "viewer/viewer_session.h"

#include "platform/endpoint.h"

#include <QMetaObject>

namespace vantry::viewer {

ViewerSession::ViewerSession(ViewerPaths paths, QObject* parent)
    : QObject(parent)
    , paths_(std::move(paths))
{
    reconnectTimer_.setSingleShot(true);
    reconnectTimer_.setTimerType(Qt::PreciseTimer);
    connect(&reconnectTimer_, &QTimer::timeout, this, &ViewerSession::reconnectTick);
    link_.setLog(&log_);
    link_.setObserver([this](const LinkEvent& event) {
        // Repeated data and picture notices that wait together count once.
        if (event.notice == LinkNotice::DataArrived && dataPending_.exchange(true))
            return;
        if (event.notice == LinkNotice::PictureReady && picturePending_.exchange(true))
            return;
        QMetaObject::invokeMethod(this, [this, event] { onLinkEvent(event); }, Qt::QueuedConnection);
    });
}

ViewerSession::~ViewerSession()
{
    reconnectOn_ = false;
    reconnectTimer_.stop();
    if (reconnectWorker_.joinable())
        reconnectWorker_.join();
    // The link's threads end before its observer goes: they may be calling it.
    link_.disconnect();
    link_.setObserver({});
}

void ViewerSession::start()
{
    prepareViewerDataFolder(paths_.dataFolder, paths_.programFolder);
    settings_ = loadViewerSettings(settingsPath(), paths_.dataFolder);
    const char* locale = std::getenv("LC_ALL");
    if (!locale || !*locale)
        locale = std::getenv("LANG");
    strings_.load(paths_.programFolder, languageNameForLocale(locale ? locale : ""));
    log_.open(logPath());
    link_.recorder().setFileLengthMinutes(settings_.fileLengthMinutes);
    link_.recorder().setRecordType(settings_.recordType);
    link_.recorder().setStorage(settings_.storagePath, settings_.minFreeSpaceMb);
    applyStreamOptions();
    locked_ = settings_.hasMask != 0 && !settings_.lockPassword.empty();
}

void ViewerSession::shutdown()
{
    reconnectOn_ = false;
    reconnectTimer_.stop();
    if (reconnectWorker_.joinable())
        reconnectWorker_.join();
    link_.disconnect();
    alarm_.stop();
    link_.recorder().saveIndex();
    saveSettings();
}

bool ViewerSession::saveSettings() { return saveViewerSettings(settingsPath(), settings_); }

void ViewerSession::applyStreamOptions()
{
    server::StreamOptions options;
    options.quality = static_cast<uint32_t>(settings_.quality);
    options.halfSize = static_cast<uint32_t>(settings_.halfSize);
    options.frameRate = static_cast<uint32_t>(settings_.frameRate);
    options.eventOnly = static_cast<uint32_t>(settings_.displayEventOnly);
    link_.setStreamOptions(options);
}

void ViewerSession::show(ViewerText text)
{
    if (messageSink_)
        messageSink_(strings_.text(text));
}

std::string ViewerSession::windowTitle() const
{
    const std::string title = link_.connected() ? link_.title() : std::string();
    return title.empty() ? strings_.text(ViewerText::ProgramTitle) : title;
}

bool ViewerSession::cameraButtonsShown() const
{
    return link_.connected() || (switchedCamera_ && link_.reusePassword());
}

void ViewerSession::setIcon(int icon, int state)
{
    if (icon < 0 || icon >= static_cast<int>(icons_.size()))
        return;
    icons_[static_cast<size_t>(icon)] = state;
    emit statusIconChanged(icon, state);
    if (icon == kIconEvent) {
        if (state == 1) {
            if (settings_.showUp)
                emit raiseRequested();
            if (settings_.alarm)
                alarm_.play(settings_.alarmFile);
        } else {
            alarm_.stop();
        }
    }
}

void ViewerSession::onLinkEvent(const LinkEvent& event)
{
    const bool stale = event.connection != link_.connectionSerial();
    switch (event.notice) {
    case LinkNotice::StatusIcon:
        setIcon(event.a, event.b);
        break;
    case LinkNotice::DataArrived:
        dataPending_ = false;
        setIcon(kIconData, icons_[kIconData] == 1 ? 2 : 1);
        break;
    case LinkNotice::PictureReady:
        picturePending_ = false;
        emit pictureUpdated();
        break;
    case LinkNotice::ShowMessage:
        show(static_cast<ViewerText>(event.a));
        break;
    case LinkNotice::RestoreVideoSize:
        emit fitToPicture();
        break;
    case LinkNotice::EndRequested:
        if (stale)
            break;
        endLink(false);
        break;
    case LinkNotice::ServerClosed:
        if (stale)
            break;
        endLink(true);
        break;
    case LinkNotice::PasswordNeeded: {
        if (stale)
            break;
        std::optional<std::string> password;
        if (passwordPrompt_)
            password = passwordPrompt_();
        link_.answerPassword(password);
        break;
    }
    case LinkNotice::PasswordIncorrect: {
        if (stale)
            break;
        const bool retry = questionPrompt_ && questionPrompt_(strings_.text(ViewerText::PasswordIncorrect));
        link_.answerRetry(retry);
        break;
    }
    case LinkNotice::TitleChanged:
        emit titleChanged(QString::fromStdString(windowTitle()));
        break;
    case LinkNotice::StreamStarted:
        markedCamera_ = link_.camera();
        emit buttonsChanged();
        break;
    case LinkNotice::RecordingRefused:
        emit recordAllowedChanged(false);
        show(ViewerText::NotEnoughSpace);
        break;
    }
}

void ViewerSession::endLink(bool reconnect)
{
    link_.disconnect();
    if (!link_.reusePassword())
        markedCamera_ = -1;
    emit titleChanged(QString::fromStdString(windowTitle()));
    emit buttonsChanged();
    emit connectionChanged(false);
    reconnectOn_ = reconnect;
    if (reconnect)
        reconnectTimer_.start(reconnectIntervalMs_);
    else
        reconnectTimer_.stop();
}

void ViewerSession::reconnectTick()
{
    if (!reconnectOn_ || reconnectBusy_)
        return;
    if (reconnectWorker_.joinable())
        reconnectWorker_.join();
    reconnectBusy_ = true;
    const std::string host = link_.host();
    const uint16_t port = link_.port();
    const int camera = link_.camera();
    const int timeout = link_.timeoutSeconds();
    reconnectWorker_ = std::thread([this, host, port, camera, timeout] {
        const int result = link_.connect(host, port, camera, timeout);
        QMetaObject::invokeMethod(
            this,
            [this, result] {
                reconnectBusy_ = false;
                if (result) {
                    emit connectionChanged(true);
                    emit buttonsChanged();
                } else if (reconnectOn_) {
                    reconnectTimer_.start(reconnectIntervalMs_);
                }
            },
            Qt::QueuedConnection);
    });
}

int ViewerSession::connectTo(const std::string& host, uint16_t port, int camera)
{
    reconnectOn_ = false;
    reconnectTimer_.stop();
    if (reconnectWorker_.joinable())
        reconnectWorker_.join();
    switchedCamera_ = false;
    link_.setReusePassword(false);
    applyStreamOptions();
    const int result = link_.connect(host, port, camera, settings_.timeoutSeconds);
    if (result) {
        emit connectionChanged(true);
        emit buttonsChanged();
    }
    return result;
}

std::optional<ServerAddress> ViewerSession::lookup(const std::string& id) const
{
    return lookupConnectionId(settings_.lookupUrl, id, settings_.timeoutSeconds);
}

void ViewerSession::retryLater()
{
    if (link_.connected() || link_.host().empty())
        return;
    reconnectOn_ = true;
    reconnectTimer_.start(reconnectIntervalMs_);
}

void ViewerSession::disconnectCommand()
{
    link_.setReusePassword(false);
    switchedCamera_ = false;
    endLink(false);
}

int ViewerSession::switchCamera(int camera)
{
    if (camera < 0 || camera > 3)
        return 0;
    if (link_.connected() && link_.camera() == camera) {
        markedCamera_ = camera;
        emit buttonsChanged();
        return 1;
    }
    const std::string host = link_.host().empty() ? settings_.ip : link_.host();
    const uint16_t port = link_.port() ? link_.port() : static_cast<uint16_t>(settings_.port);
    link_.setReusePassword(true);
    switchedCamera_ = true;
    reconnectOn_ = false;
    reconnectTimer_.stop();
    if (reconnectWorker_.joinable())
        reconnectWorker_.join();
    if (link_.connected()) {
        link_.disconnect();
        emit connectionChanged(false);
    }
    const int result = link_.connect(host, port, camera, settings_.timeoutSeconds);
    emit buttonsChanged();
    if (result)
        emit connectionChanged(true);
    else
        show(ViewerText::CannotConnect);
    return result;
}

void ViewerSession::ptz(uint32_t command)
{
    if (link_.connected())
        link_.sendPtz(command);
}

void ViewerSession::setRecordAllowed(bool allowed)
{
    link_.recorder().setAllowed(allowed);
    emit recordAllowedChanged(allowed);
}

void ViewerSession::toggleEventOnly()
{
    settings_.displayEventOnly = settings_.displayEventOnly ? 0 : 1;
    link_.setEventOnly(settings_.displayEventOnly != 0);
}

void ViewerSession::applyPreferences(const ViewerSettings& updated)
{
    const bool storageChanged = updated.storagePath != settings_.storagePath;
    settings_ = updated;
    ViewerRecorder& recorder = link_.recorder();
    recorder.setMinFreeSpace(settings_.minFreeSpaceMb);
    if (storageChanged)
        recorder.setStorage(settings_.storagePath, settings_.minFreeSpaceMb);
    recorder.setFileLengthMinutes(settings_.fileLengthMinutes);
    recorder.setRecordType(settings_.recordType);
    saveSettings();
}

bool ViewerSession::unlock(const std::string& password)
{
    // The lock is only worth having when the password is checked.
    if (locked_ && password == settings_.lockPassword) {
        locked_ = false;
        hideVideoWhileLocked_ = false;
        emit lockChanged(false);
        emit pictureUpdated();
    }
    return !locked_;
}

void ViewerSession::lock()
{
    if (settings_.hasMask == 0 || settings_.lockPassword.empty() || locked_)
        return;
    locked_ = true;
    hideVideoWhileLocked_ = true;
    emit lockChanged(true);
    emit pictureUpdated();
}

int ViewerSession::handlePlayerMessage(uint32_t msg, uint32_t wParam)
{
    ViewerRecorder& recorder = link_.recorder();
    const auto time = static_cast<int32_t>(wParam);
    switch (msg) {
    case kMsgSaveIndex: {
        const int saved = recorder.saveIndex();
        const platform::WindowHandle player = platform::findWindow("VYPlayer");
        if (player != platform::kNoWindow)
            platform::postMessage(player, kMsgIndexSaved, 0, 0);
        return saved;
    }
    case kMsgRecordDeleted:
        return recorder.removeRecord(time);
    case kMsgDayDeleted:
        return recorder.removeDay(time);
    case kMsgAllDeleted:
        return recorder.removeAll();
    default:
        return 0;
    }
}

} // namespace vantry::viewer
