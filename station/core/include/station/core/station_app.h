#pragma once

#include "station/core/station_hub.h"

#include <functional>
#include <memory>
#include <string>

namespace vantry::platform {
class InstanceLock;
class Endpoint;
} // namespace vantry::platform

namespace vantry::station {

class SystemDeviceProvider;
class FrameLinks;
class Recorder;
namespace detail {
class ClockWatch;
}

struct StationOptions {
    // No windows: messages go to the text log, log lines also to standard error, and the
    // station is logged in (there is nobody to ask for a password).
    bool headless = true;
    // Offer the demo cameras and microphones; when no camera has a device, give camera n
    // "Demo Camera n" with "Demo Microphone n".
    bool demo = false;
    // Test hook: record files of this many seconds instead of nFileLength minutes (0 = off).
    // vantry takes it from VANTRY_TEST_FILE_SECONDS, which only tests set.
    int testFileLengthSeconds = 0;
    // The window, when the station has one: it replaces the headless view, and the login
    // dialog becomes the login gate. Neither is owned.
    StationView* view = nullptr;
    std::function<bool()> loginGate;
};

enum class StartResult {
    Running,        // the station runs; the caller runs the event loop
    AlreadyRunning, // another station runs and was asked to show itself
    Failed,         // the reason is in the error text
};

// The station process without its window: one running copy, the data folder and its
// sub-folders, the GStreamer plug-ins beside the program, the device provider, the hub and
// its endpoint "VYWatch", the stream server. Lives on the QCoreApplication's thread.
class StationApp {
public:
    explicit StationApp(StationOptions options);
    ~StationApp();
    StationApp(const StationApp&) = delete;
    StationApp& operator=(const StationApp&) = delete;

    StartResult start(std::string* error = nullptr);
    // The closing order; the settings are saved. Idempotent.
    void close();

    StationHub* hub() { return hub_.get(); }
    Recorder* recorder() { return recorder_.get(); }

private:
    class HeadlessView;

    StationOptions options_;
    std::unique_ptr<platform::InstanceLock> lock_;
    std::unique_ptr<SystemDeviceProvider> provider_;
    std::unique_ptr<HeadlessView> view_;
    std::unique_ptr<StationHub> hub_;
    std::unique_ptr<Recorder> recorder_;
    std::unique_ptr<platform::Endpoint> endpoint_;
    std::unique_ptr<FrameLinks> frameLinks_;
    std::unique_ptr<detail::ClockWatch> clockWatch_;
};


} // namespace vantry::station
