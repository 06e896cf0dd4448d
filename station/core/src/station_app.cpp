#include "station/core/station_app.h"

#include "common/folder_prep.h"
#include "platform/endpoint.h"
#include "platform/folders.h"
#include "platform/instance_lock.h"
#include "plugins/plugin_loader.h"
#include "station/core/demo_devices.h"
#include "station/core/frame_links.h"
#include "station/core/recorder.h"
#include "station/core/system_device_provider.h"

#include "clock_watch.h"
#include "gst_support.h"

#include <gst/gst.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace vantry::station {

namespace {

constexpr const char* kStationClass = "VYWatch";
constexpr const char* kInstanceName = "vantry";

// The running station may still be starting and not yet findable: look once more.
constexpr auto kSecondLookDelay = std::chrono::milliseconds(500);

platform::WindowHandle findRunningStation()
{
    platform::WindowHandle station = platform::findWindow(kStationClass);
    if (station == platform::kNoWindow) {
        std::this_thread::sleep_for(kSecondLookDelay);
        station = platform::findWindow(kStationClass);
    }
    return station;
}

} // namespace

// Without a window, what the hub would show goes to the text log.
class StationApp::HeadlessView final : public StationView {
public:
    explicit HeadlessView(StationHub* hub) : hub_(hub) {}
    void showMessage(int messageId, std::string_view text) override
    {
        // Texts the hub knows are already in the text log.
        if (text.empty())
            hub_->diagnostic("Message " + std::to_string(messageId));
    }
    void raiseWindow() override
    {
        hub_->diagnostic("Asked to show the station's window; it runs without one.");
    }

private:
    StationHub* hub_;
};

StationApp::StationApp(StationOptions options)
    : options_(options)
{
}

StationApp::~StationApp()
{
    close();
    frameLinks_.reset();
    if (hub_) {
        hub_->setRecording(nullptr);
        hub_->setRecordIndex(nullptr);
    }
    recorder_.reset();
    hub_.reset();
    view_.reset();
    provider_.reset();
    lock_.reset();
}

StartResult StationApp::start(std::string* error)
{
    const auto fail = [error](std::string text) {
        if (error)
            *error = std::move(text);
        return StartResult::Failed;
    };

    platform::InstanceLockFailure lockFailure = platform::InstanceLockFailure::Unavailable;
    lock_ = platform::InstanceLock::acquire(kInstanceName, &lockFailure);
    if (!lock_) {
        if (lockFailure == platform::InstanceLockFailure::Unavailable)
            return fail("cannot take the single-instance lock (no usable runtime folder)");
        const platform::WindowHandle running = findRunningStation();
        if (running != platform::kNoWindow)
            platform::postMessage(running, platform::kMsgShowWindow, 1, 0);
        return StartResult::AlreadyRunning;
    }
    // A station that runs without holding the lock (started by an older copy) still counts.
    if (const platform::WindowHandle running = platform::findWindow(kStationClass); running != platform::kNoWindow) {
        platform::postMessage(running, platform::kMsgShowWindow, 1, 0);
        lock_.reset();
        return StartResult::AlreadyRunning;
    }

    const std::string dataFolder = platform::dataFolder();
    std::string folderError;
    if (dataFolder.empty())
        return fail("cannot determine the data folder");
    if (!common::prepareFolder(dataFolder, &folderError))
        return fail(folderError);
    std::vector<std::string> subFolderErrors;
    for (const char* name : { "mail", "ftp", "records" }) {
        std::string subError;
        if (!common::prepareFolder(dataFolder + "/" + name, &subError))
            subFolderErrors.push_back(subError);
    }

    // A media framework that does not start leaves the cameras dark, but the station still
    // keeps its logs and answers its companions; the failure is logged below.
    const bool mediaReady = ensureGStreamer();
    if (mediaReady)
        plugins::registerBundledPlugins();

    provider_ = std::make_unique<SystemDeviceProvider>(options_.demo ? DemoMode::On : DemoMode::Off);
    hub_ = std::make_unique<StationHub>(HubFolders { dataFolder, platform::programFolder() }, *provider_);
    view_ = std::make_unique<HeadlessView>(hub_.get());
    hub_->setView(options_.view ? options_.view : view_.get());
    if (options_.loginGate)
        hub_->setLoginGate(options_.loginGate);
    hub_->setEchoToStderr(options_.headless);
    // Before the channels: their first picture formats already size the shared records.
    frameLinks_ = std::make_unique<FrameLinks>(*hub_);
    hub_->setFrameLinks(frameLinks_.get());

    std::string endpointError;
    endpoint_ = platform::Endpoint::create(kStationClass, "", [this](const platform::Message& message) {
        return hub_ ? hub_->dispatch(message) : 0;
    }, &endpointError);
    hub_->attachEndpoint(endpoint_.get());

    hub_->openSettingsAndLogs();
    RecorderOptions recorderOptions;
    recorderOptions.fileLengthSecondsOverride = options_.testFileLengthSeconds;
    recorder_ = std::make_unique<Recorder>(*hub_, recorderOptions);
    hub_->setRecording(recorder_.get());
    hub_->setRecordIndex(recorder_.get());
    // Before any camera records: crash leftovers are repaired and indexed first.
    recorder_->open();
    for (const std::string& text : subFolderErrors)
        hub_->diagnostic(text);
    if (!mediaReady)
        hub_->diagnostic("GStreamer cannot be initialised; the cameras stay dark.");
    if (!endpoint_)
        hub_->diagnostic("The companions cannot reach the station: " + endpointError);
    if (options_.demo)
        hub_->presetDevicesWhenNone(demoDevices(DeviceKind::Video), demoDevices(DeviceKind::Audio));
    if (!hub_->buildChannels(options_.headless)) {
        hub_->diagnostic("Fail on pFrame->InitCaptureManager() in CVantoWatchApp::InitInstance()");
        close();
        return fail("cannot build the camera channels");
    }
    hub_->startStreamServer();
    // Scheduled recording must hear at once when the clock is set.
    clockWatch_ = std::make_unique<detail::ClockWatch>([this] {
        if (hub_)
            hub_->post(kMsgTimeChange, 0, 0);
    });
    return StartResult::Running;
}

void StationApp::close()
{
    clockWatch_.reset();
    // Recording ends first: the last segments are finished and indexed while the hub lives.
    if (recorder_)
        recorder_->close();
    if (hub_)
        hub_->close();
    // Nothing may reach the hub through the endpoint once it is gone.
    if (hub_) {
        hub_->attachEndpoint(nullptr);
        hub_->setFrameLinks(nullptr);
    }
    frameLinks_.reset();
    endpoint_.reset();
}

} // namespace vantry::station
