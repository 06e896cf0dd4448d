#include "station/ui/station_menus.h"

#include "common/camera_word.h"
#include "station/core/hub_messages.h"
#include "station/core/station_hub.h"
#include "station/ui/main_window.h"

#include <QAction>
#include <QMenu>

namespace vantry::station::ui {

namespace {
constexpr const char* kCommandProperty = "vantryCommand";
constexpr const char* kCameraProperty = "vantryForCamera";
} // namespace

StationMenus::StationMenus(MainWindow* window)
    : QObject(window)
    , window_(window)
{
    preference_ = new QMenu(window);
    addCommand(preference_, "&Preferences...\tAlt+P", cmd::kPreferences)->setShortcut(QKeySequence("Alt+P"));
    addCommand(preference_, "&Remote Viewing Options...", cmd::kRemoteViewingOptions);
    addCommand(preference_, "Remote &Connections...", cmd::kRemoteConnections);
    addCommand(preference_, "Enable Remote Viewing on &Remote Program", cmd::kRemoteProgramServing, true);
    preference_->addSeparator();
    addCommand(preference_, "&Camera Options...", cmd::kCameraOptions);
    addCommand(preference_, "&Devices...", cmd::kDevices);
    addCommand(preference_, "&Logs...", cmd::kLogs);
    preference_->addSeparator();
    addCommand(preference_, "&Always on Top", cmd::kAlwaysOnTop, true);
    addCommand(preference_, "&Full Screen\tCtrl+F", cmd::kFullScreen)->setShortcut(QKeySequence("Ctrl+F"));
    addCommand(preference_, "&Restore Size", cmd::kRestoreSize);
    addCommand(preference_, "L&ogout\tCtrl+O", cmd::kLogout)->setShortcut(QKeySequence("Ctrl+O"));
    preference_->addSeparator();
    addCommand(preference_, "&Help...\tF1", cmd::kHelp)->setShortcut(QKeySequence(Qt::Key_F1));
    addCommand(preference_, "&About...", cmd::kAbout);
    addCommand(preference_, "E&xit", cmd::kExit);
    connect(preference_, &QMenu::aboutToShow, this, &StationMenus::updatePreferenceChecks);

    camera_ = new QMenu(window);
    addCommand(camera_, "Video &Recording", cmd::kVideoRecording, true, true);
    addCommand(camera_, "Apply &Motion Detection\tCtrl+M", cmd::kApplyMotionDetection, true, true);
    addCommand(camera_, "Detection M&ask...", cmd::kMaskOptions, false, true);
    addCommand(camera_, "Detection &Options...", cmd::kDetectionOptions, false, true);
    camera_->addSeparator();
    addCommand(camera_, "&Display Live Video", cmd::kDisplayLiveVideo, true, true);
    addCommand(camera_, "&Play Live Sound", cmd::kPlayLiveSound, true, true);
    addCommand(camera_, "&Event Notification", cmd::kEventNotification, true, true);
    addCommand(camera_, "Sn&apshot...", cmd::kSnapshotMenu, false, true);
    camera_->addSeparator();
    addCommand(camera_, "&Camera Options...", cmd::kCameraOptions, false, true);
    addCommand(camera_, "&Search Records...\tCtrl+S", cmd::kSearchRecords, false, true);
    addCommand(camera_, "&Full Screen\tCtrl+F", cmd::kFullScreen, false, true);
    addCommand(camera_, "&Restore Size", cmd::kRestoreSize, false, true);
    connect(camera_, &QMenu::aboutToShow, this, &StationMenus::updateCameraChecks);

    // Shortcuts of the selected camera work without opening a menu.
    const struct {
        const char* keys;
        uint32_t id;
    } shortcuts[] = { { "Ctrl+R", cmd::kVideoRecording }, { "Ctrl+M", cmd::kApplyMotionDetection },
                      { "Ctrl+S", cmd::kSearchRecords } };
    for (const auto& s : shortcuts) {
        auto* action = new QAction(window);
        action->setShortcut(QKeySequence(s.keys));
        action->setShortcutContext(Qt::ApplicationShortcut);
        const uint32_t id = s.id;
        connect(action, &QAction::triggered, window, [this, id] { window_->sendCommand(id); });
        window->addAction(action);
    }
    for (QAction* action : preference_->actions())
        if (!action->shortcut().isEmpty()) {
            action->setShortcutContext(Qt::ApplicationShortcut);
            window->addAction(action);
        }
}

StationMenus::~StationMenus() = default;

QAction* StationMenus::addCommand(QMenu* menu, const QString& text, uint32_t id, bool checkable, bool forCamera)
{
    QAction* action = menu->addAction(text.section('\t', 0, 0));
    action->setCheckable(checkable);
    action->setProperty(kCommandProperty, id);
    action->setProperty(kCameraProperty, forCamera);
    connect(action, &QAction::triggered, this, [this, id, forCamera] {
        window_->sendCommand(id, forCamera ? common::makeCameraWord(menuCamera_) : 0);
    });
    return action;
}

QMenu* StationMenus::cameraMenu(int cameraIndex)
{
    menuCamera_ = cameraIndex;
    camera_->setTitle(QStringLiteral("Camera %1").arg(cameraIndex + 1));
    updateCameraChecks();
    return camera_;
}

QMenu* StationMenus::presetMenu()
{
    if (!preset_)
        preset_ = new QMenu(window_);
    preset_->clear();
    StationHub* hub = window_->hub();
    const int camera = hub ? hub->selectedCamera() : 0;
    const common::ChannelSettings* settings = hub ? &hub->settings().channels[static_cast<size_t>(camera)] : nullptr;
    for (int i = 0; i < 4; ++i) {
        QString name = settings ? QString::fromStdString(settings->presetName(i)) : QString();
        if (name.isEmpty())
            name = QStringLiteral("Preset %1").arg(i + 1);
        QAction* action = preset_->addAction(name);
        // Presets move a camera with PTZ control only.
        action->setEnabled(settings && settings->ptzControlEnabled != 0);
        const uint32_t id = 32841u + static_cast<uint32_t>(i);
        connect(action, &QAction::triggered, this, [this, id] { window_->sendCommand(id); });
    }
    return preset_;
}

QAction* StationMenus::cameraAction(uint32_t commandId) const
{
    for (QAction* action : camera_->actions())
        if (action->property(kCommandProperty).toUInt() == commandId && !action->isSeparator())
            return action;
    return nullptr;
}

QAction* StationMenus::preferenceAction(uint32_t commandId) const
{
    for (QAction* action : preference_->actions())
        if (action->property(kCommandProperty).toUInt() == commandId && !action->isSeparator())
            return action;
    return nullptr;
}

void StationMenus::updatePreferenceChecks()
{
    StationHub* hub = window_->hub();
    if (!hub)
        return;
    preferenceAction(cmd::kRemoteProgramServing)->setChecked(hub->settings().videoServerEnabled != 0);
    preferenceAction(cmd::kAlwaysOnTop)->setChecked(hub->settings().alwaysOnTop != 0);
    QAction* logout = preferenceAction(cmd::kLogout);
    logout->setEnabled(hub->settings().loginRequired != 0);
    logout->setText(hub->isLoggedIn() ? "L&ogout" : "L&ogin");
}

void StationMenus::updateCameraChecks()
{
    StationHub* hub = window_->hub();
    if (!hub)
        return;
    const common::ChannelSettings& settings = hub->settings().channels[static_cast<size_t>(menuCamera_)];
    CameraChannel* channel = hub->channel(menuCamera_);
    const bool device = channel && channel->hasVideoDevice();
    cameraAction(cmd::kVideoRecording)->setChecked(settings.recordingEnabled != 0);
    cameraAction(cmd::kApplyMotionDetection)->setChecked(settings.motionDetectionEnabled != 0);
    cameraAction(cmd::kDisplayLiveVideo)->setChecked(settings.displayLiveVideo != 0);
    cameraAction(cmd::kPlayLiveSound)->setChecked(settings.playLiveSound != 0);
    cameraAction(cmd::kEventNotification)->setChecked(settings.eventNotificationEnabled != 0);
    for (QAction* action : camera_->actions()) {
        const uint32_t id = action->property(kCommandProperty).toUInt();
        // Without a device only what does not need one stays on.
        const bool needsDevice = id != cmd::kCameraOptions && id != cmd::kSearchRecords && id != cmd::kFullScreen
            && id != cmd::kRestoreSize;
        if (!action->isSeparator())
            action->setEnabled(device || !needsDevice);
    }
}

} // namespace vantry::station::ui
