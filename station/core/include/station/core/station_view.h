#pragma once

#include <cstdint>
#include <string_view>

namespace vantry::station {

// What the hub shows: the window's side of the station. The Qt window implements it; a
// headless station shows messages in its text log and has no lights to switch. Every call
// comes on the hub's thread.
class StationView {
public:
    virtual ~StationView() = default;

    // An indicator light of the control panel: kind 0 video, 1 audio, 2 detection, 3 recording.
    virtual void setIndicator(int /*cameraIndex*/, int /*kind*/, int /*state*/) {}
    // A message box with the station's text for that id (empty when the hub has none).
    virtual void showMessage(int /*messageId*/, std::string_view /*text*/) {}
    // Pause detection counts down on the time panel.
    virtual void showCountdown(int /*seconds*/) {}
    virtual void selectCamera(int /*cameraIndex*/) {}
    virtual void setLiveVideo(int /*cameraIndex*/, bool /*on*/) {}
    // Another start of the station, or an event of a camera that asks for it.
    virtual void raiseWindow() {}
    // A command that only a window can carry out (a dialog, a layout, full screen), after
    // the hub's command table passed its login gate. A station without a window ignores it.
    virtual void runViewCommand(uint32_t /*commandId*/, int /*cameraIndex*/) {}
};

} // namespace vantry::station
