#include "station/ui/dialog_launcher.h"

#include "common/camera_word.h"
#include "common/log_texts.h"
#include "common/settings_schema.h"
#include "platform/endpoint.h"
#include "platform/ini_profile.h"
#include "station/core/capture_plan.h"
#include "station/core/hub_messages.h"
#include "station/core/station_hub.h"
#include "station/ui/camera_options_page.h"
#include "station/ui/camera_options_sheet.h"
#include "station/ui/log_dialog.h"
#include "station/ui/main_window.h"
#include "station/ui/mask_editor.h"
#include "station/ui/motion_options_dialog.h"
#include "station/ui/preferences_dialog.h"
#include "station/ui/remote_viewing_dialog.h"
#include "station/ui/split_screen.h"

#include <QMessageBox>

namespace vantry::station::ui {

namespace {

std::string cameraLabel(int cameraIndex)
{
    return "Camera " + std::to_string(cameraIndex + 1);
}

// A camera's settings as the settings file would store them: two records that read the same
// there are the same to the station.
std::string storedText(const common::ChannelSettings& settings, int cameraNumber, const common::SettingsContext& context)
{
    platform::IniDocument document;
    common::writeSettings(document, settings, cameraNumber, context);
    return document.serialize();
}

} // namespace

DialogLauncher::DialogLauncher(MainWindow* window)
    : window_(window)
{
}

// ----- Preferences -------------------------------------------------------------------------

void DialogLauncher::openPreferences()
{
    StationHub* hub = window_->hub();
    if (!hub)
        return;
    PreferencesDialog dialog(hub->settings(), window_->prompter(), window_);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const common::StationSettings before = hub->settings();
    dialog.store(hub->settings());
    applyPreferences(before);
}

void DialogLauncher::applyPreferences(const common::StationSettings& before)
{
    StationHub* hub = window_->hub();
    common::StationSettings& after = hub->settings();
    hub->addLogEntry(common::LogEntryType::Option, common::kSystemCamera, common::logtext::kModifyPreferences);
    if (!after.Save())
        hub->diagnostic("Cannot save the settings: " + after.LastError());
    // Only what changed takes effect now.
    if (after.caption != before.caption || after.keepVideoProportions != before.keepVideoProportions)
        window_->refreshFromSettings();
    if (after.alwaysOnTop != before.alwaysOnTop)
        window_->applyAlwaysOnTop();
    if (after.loopDisplayLengthMs != before.loopDisplayLengthMs && window_->splitScreen()
        && window_->splitScreen()->isLooping()) {
        window_->splitScreen()->stopLoop();
        window_->splitScreen()->startLoop(after.loopDisplayLengthMs);
    }
    if (after.siteName != before.siteName)
        hub->serverSettingsChanged();
    const bool loginChanged = after.loginRequired != before.loginRequired || after.loginPassword != before.loginPassword;
    if (loginChanged && after.loginRequired != 0)
        window_->sendCommand(cmd::kLogoutAndLogin);
}

// ----- Remote Viewing Options --------------------------------------------------------------

void DialogLauncher::openRemoteViewingOptions()
{
    StationHub* hub = window_->hub();
    if (!hub)
        return;
    ServerPorts ports;
    ports.streamServerRunning =
        hub->settings().videoServerEnabled != 0 && platform::findWindow("VYVServer") != platform::kNoWindow;
    ports.streamServerPort = hub->settings().videoServerPort;
    // The web server arrives with the remote-command services; until then none runs here.
    ports.webServerRunning = false;
    ports.webServerPort = hub->settings().webServerPort;
    RemoteViewingDialog dialog(hub->settings(), ports, window_->prompter(), window_);
    if (dialog.exec() != QDialog::Accepted)
        return;
    dialog.store(hub->settings());
    applyRemoteViewingOptions();
}

void DialogLauncher::applyRemoteViewingOptions()
{
    StationHub* hub = window_->hub();
    hub->addLogEntry(common::LogEntryType::Option, common::kSystemCamera, common::logtext::kModifyVideoServer);
    if (!hub->settings().Save())
        hub->diagnostic("Cannot save the settings: " + hub->settings().LastError());
    hub->serverSettingsChanged();
}

// ----- Camera Options ----------------------------------------------------------------------

void DialogLauncher::openCameraOptions(int cameraIndex)
{
    StationHub* hub = window_->hub();
    if (!hub)
        return;
    auto* sheet = new CameraOptionsSheet(window_);
    for (int camera = 0; camera < 4; ++camera) {
        CameraChannel* channel = hub->channel(camera);
        if (!channel || !channel->hasVideoDevice())
            continue;
        CaptureDevice device;
        std::vector<PictureSize> sizes;
        if (hub->deviceProvider().find(DeviceKind::Video, channel->videoDevice(), &device)) {
            for (const auto& [w, h] : hub->deviceProvider().pictureSizes(device))
                sizes.push_back(PictureSize { w, h });
            sizes = offeredPictureSizes(sizes, device.friendlyName);
        }
        const auto i = static_cast<size_t>(camera);
        auto* page = new CameraOptionsPage(camera, hub->settings().channels[i], hub->captureSettings(camera), sizes,
                                           channel->hasAudioDevice(), window_->texts(), window_->prompter(),
                                           [this, camera](uint32_t id) {
                                               window_->sendCommand(id, common::makeCameraWord(camera));
                                           });
        sheet->addPage(page);
    }
    if (sheet->pages().empty()) {
        delete sheet;
        if (window_->prompter().ask(window_, text_ids::kNoCameraConnected, UiTexts::text(text_ids::kNoCameraConnected)))
            openDevices(true);
        return;
    }
    sheet->showCamera(cameraIndex >= 0 ? cameraIndex : hub->selectedCamera());
    if (sheet->exec() == QDialog::Accepted) {
        const std::vector<int> changed = applyCameraOptions(sheet->pages());
        (void)changed;
    }
    delete sheet;
}

void DialogLauncher::applyCamera(int camera, const common::ChannelSettings& after, const common::CaptureSettings& capture)
{
    StationHub* hub = window_->hub();
    const auto i = static_cast<size_t>(camera);
    CameraChannel* channel = hub->channel(camera);
    common::ChannelSettings& settings = hub->settings().channels[i];
    const common::ChannelSettings before = settings;
    common::CaptureSettings& captureNow = hub->captureSettings(camera);
    const common::CaptureSettings captureBefore = captureNow;

    // The picture size first: a recording that restarts below records in the new size.
    if (after.frameWidth != before.frameWidth || after.frameHeight != before.frameHeight) {
        const VideoSubtype subtype = subtypeFromCompression(static_cast<uint32_t>(before.frameCompression));
        const int refused = channel ? channel->setPictureFormat(after.frameWidth, after.frameHeight,
                                                                isSelectableSubtype(subtype) ? subtype : VideoSubtype::I420)
                                    : 0;
        if (refused != 0)
            window_->prompter().inform(window_, refused, UiTexts::text(refused));
    }
    captureNow.videoCodec = capture.videoCodec;
    captureNow.audioCodec = capture.audioCodec;
    captureNow.videoQuality = capture.videoQuality;

    const bool scheduleChanged = [&] {
        for (int day = 0; day < 7; ++day)
            if (after.scheduleWord(day) != before.scheduleWord(day))
                return true;
        return false;
    }();
    const bool recordingShapeChanged = after.storagePath != before.storagePath
        || after.recordingType != before.recordingType || scheduleChanged || capture.videoCodec != captureBefore.videoCodec
        || capture.audioCodec != captureBefore.audioCodec || capture.videoQuality != captureBefore.videoQuality
        || after.recordAudio != before.recordAudio;
    const bool scheduled = after.recordingType == 2 || after.recordingType == 3;

    if (after.recordingEnabled != before.recordingEnabled) {
        // The flag itself changed: start or stop with the new type.
        settings = after;
        settings.recordingEnabled = before.recordingEnabled;
        window_->sendCommand(cmd::kRecord, common::makeCameraWord(camera, after.recordingEnabled != 0 ? 1 : 0));
    } else if (after.recordingEnabled != 0
               && ((channel && channel->isCaptureRunning() && recordingShapeChanged) || (scheduleChanged && scheduled))) {
        // Stop with the old type, start again with the new one.
        window_->sendCommand(cmd::kRecord, common::makeCameraWord(camera, 0));
        settings = after;
        settings.recordingEnabled = 0;
        window_->sendCommand(cmd::kRecord, common::makeCameraWord(camera, 1));
    } else {
        const int32_t recording = settings.recordingEnabled;
        settings = after;
        settings.recordingEnabled = recording;
    }
    // Detection as the page left it, unless event recording keeps it on.
    const bool eventType = settings.recordingType == 1 || settings.recordingType == 3;
    if (!(settings.recordingEnabled != 0 && eventType)
        && (after.motionDetectionEnabled != 0) != hub->isDetectionActive(camera)) {
        settings.motionDetectionEnabled = after.motionDetectionEnabled != 0 ? 0 : 1;
        window_->sendCommand(cmd::kApplyMotionDetection, common::makeCameraWord(camera));
    }
    if (after.displayLiveVideo != before.displayLiveVideo)
        window_->setLiveVideo(camera, after.displayLiveVideo != 0);
}

std::vector<int> DialogLauncher::applyCameraOptions(const std::vector<CameraOptionsPage*>& pages)
{
    StationHub* hub = window_->hub();
    std::vector<int> changed;
    for (CameraOptionsPage* page : pages) {
        const int camera = page->cameraIndex();
        const auto i = static_cast<size_t>(camera);
        const common::ChannelSettings after = page->channelSettings();
        const common::CaptureSettings capture = page->captureSettings();
        const common::ChannelSettings& before = hub->settings().channels[i];
        const common::CaptureSettings& captureBefore = hub->captureSettings(camera);
        // Compared as the settings file would store them.
        const bool same = storedText(after, camera + 1, hub->settings().context())
                == storedText(before, camera + 1, hub->settings().context())
            && capture.videoCodec == captureBefore.videoCodec && capture.audioCodec == captureBefore.audioCodec
            && capture.videoQuality == captureBefore.videoQuality;
        if (same)
            continue;
        applyCamera(camera, after, capture);
        changed.push_back(camera);
    }
    if (changed.empty())
        return changed;
    runFrameRatePlan();
    hub->addLogEntry(common::LogEntryType::Option, common::kSystemCamera,
                     common::logtext::fill(common::logtext::kModifyCameraOptions, common::logtext::cameraNumberList(changed)));
    if (!hub->settings().Save())
        hub->diagnostic("Cannot save the settings: " + hub->settings().LastError());
    for (int camera : changed)
        saveCaptureSettings(camera);
    window_->refreshFromSettings();
    return changed;
}

// ----- Devices -----------------------------------------------------------------------------

void DialogLauncher::openDevices(bool presets)
{
    StationHub* hub = window_->hub();
    if (!hub)
        return;
    std::array<DeviceChoice, 4> current;
    for (int camera = 0; camera < 4; ++camera) {
        const common::CaptureSettings& capture = hub->captureSettings(camera);
        current[static_cast<size_t>(camera)] = DeviceChoice { capture.videoDevice, capture.audioDevice };
    }
    DevicesDialog dialog(hub->deviceProvider().devices(DeviceKind::Video), hub->deviceProvider().devices(DeviceKind::Audio),
                         current, hub->settings().autoFrameRateAdjustment != 0, presets, window_->prompter(), window_);
    if (dialog.exec() != QDialog::Accepted)
        return;
    applyDevices(dialog.choices(), dialog.autoAdjust(), presets);
}

void DialogLauncher::applyDevices(const std::array<DeviceChoice, 4>& choices, bool autoAdjust, bool presets)
{
    StationHub* hub = window_->hub();
    const bool autoChanged = (hub->settings().autoFrameRateAdjustment != 0) != autoAdjust;
    hub->settings().autoFrameRateAdjustment = autoAdjust ? 1 : 0;
    for (int camera = 0; camera < 4; ++camera) {
        common::CaptureSettings& capture = hub->captureSettings(camera);
        const DeviceChoice& choice = choices[static_cast<size_t>(camera)];
        const bool changed = choice.video != capture.videoDevice || choice.audio != capture.audioDevice;
        if (!changed && !presets && !autoChanged)
            continue;
        capture.videoDevice = choice.video;
        capture.audioDevice = choice.audio;
        if (CameraChannel* channel = hub->channel(camera))
            channel->ChooseDevices(choice.video, choice.audio);
        saveCaptureSettings(camera);
    }
    runFrameRatePlan();
    window_->sendCommand(cmd::kApplyAllCameraStates);
    if (hub->settings().videoServerEnabled != 0)
        hub->serverSettingsChanged();
    if (!hub->settings().Save())
        hub->diagnostic("Cannot save the settings: " + hub->settings().LastError());
    window_->refreshFromSettings();
}

void DialogLauncher::runFrameRatePlan()
{
    StationHub* hub = window_->hub();
    std::array<FrameRatePlanInput, 4> inputs {};
    for (int camera = 0; camera < 4; ++camera) {
        CameraChannel* channel = hub->channel(camera);
        inputs[static_cast<size_t>(camera)] = FrameRatePlanInput { channel && channel->hasVideoDevice(),
                                                                   hub->settings().channels[static_cast<size_t>(camera)].frameWidth };
    }
    const TvStandard standard = window_->skin().tvStandard.compare("pal", Qt::CaseInsensitive) == 0 ? TvStandard::Pal
        : window_->skin().tvStandard.compare("secam", Qt::CaseInsensitive) == 0                    ? TvStandard::Secam
                                                                                                  : TvStandard::Ntsc;
    const auto plan = planFrameRates(inputs, standard, hub->settings().autoFrameRateAdjustment != 0);
    for (int camera = 0; camera < 4; ++camera) {
        const FrameRatePlanEntry& entry = plan[static_cast<size_t>(camera)];
        common::CaptureSettings& capture = hub->captureSettings(camera);
        capture.maxFrameRate = entry.maxFrameRate;
        capture.useFrameRateControl = entry.useFrameRateControl ? 1 : 0;
        if (CameraChannel* channel = hub->channel(camera); channel && channel->hasVideoDevice())
            channel->setFrameRatePlan(entry.maxFrameRate, entry.useFrameRateControl);
    }
}

void DialogLauncher::saveCaptureSettings(int camera)
{
    StationHub* hub = window_->hub();
    std::string error;
    if (!common::saveSettingsFile(hub->settingsPath(), hub->captureSettings(camera), camera + 1, hub->settings().context(), &error))
        hub->diagnostic("Cannot save the capture settings of " + cameraLabel(camera) + ": " + error);
}

void DialogLauncher::saveMotionSettings(int camera)
{
    StationHub* hub = window_->hub();
    CameraChannel* channel = hub->channel(camera);
    if (!channel)
        return;
    std::string error;
    const auto saved = channel->motion().detector().saveSettings(hub->folders().dataFolder, camera, &error);
    if (!saved) {
        hub->diagnostic("Cannot save the motion settings of " + cameraLabel(camera) + ": " + error);
        return;
    }
    if (!common::saveSettingsFile(hub->settingsPath(), motionSettingsToRecord(*saved), camera + 1, hub->settings().context(), &error))
        hub->diagnostic("Cannot save the motion settings of " + cameraLabel(camera) + ": " + error);
}

// ----- Logs, mask, detection ---------------------------------------------------------------

void DialogLauncher::openLogs()
{
    StationHub* hub = window_->hub();
    if (!hub)
        return;
    LogDialog dialog(hub->eventLog(), window_->prompter(), window_);
    QObject::connect(&dialog, &LogDialog::connectionsRequested, window_,
                     [this] { window_->sendCommand(cmd::kRemoteConnections); });
    dialog.exec();
}

void DialogLauncher::openMaskEditor(int camera)
{
    StationHub* hub = window_->hub();
    CameraChannel* channel = hub ? hub->channel(camera) : nullptr;
    if (!channel || !channel->hasVideoDevice()) {
        window_->prompter().inform(window_, text_ids::kNoVideoDevice, UiTexts::text(text_ids::kNoVideoDevice));
        return;
    }
    MaskEditor editor(*channel, window_->prompter(), window_);
    editor.exec();
    saveMotionSettings(camera);
}

void DialogLauncher::openDetectionOptions(int camera)
{
    StationHub* hub = window_->hub();
    CameraChannel* channel = hub ? hub->channel(camera) : nullptr;
    if (!channel || !channel->hasVideoDevice()) {
        window_->prompter().inform(window_, text_ids::kNoVideoDevice, UiTexts::text(text_ids::kNoVideoDevice));
        return;
    }
    MotionOptionsDialog dialog(*channel, window_->prompter(), window_);
    if (dialog.exec() == QDialog::Accepted)
        saveMotionSettings(camera);
}

void DialogLauncher::openAbout()
{
    QMessageBox::about(window_, "About Vantry",
                       "<b>Vantry</b><br>Video surveillance station.<br>Records, watches for motion and serves live "
                       "video to remote viewers.");
}

} // namespace vantry::station::ui
