#pragma once

#include "common/service_settings.h"
#include "common/station_settings.h"
#include "station/ui/devices_dialog.h"

#include <array>
#include <vector>

namespace vantry::station::ui {

class MainWindow;
class CameraOptionsPage;

// Opens the station's dialogs for the window and hands what they confirm to the station:
// the settings record, the channels, the logs and the commands of the hub.
class DialogLauncher {
public:
    explicit DialogLauncher(MainWindow* window);

    void openPreferences();
    void openRemoteViewingOptions();
    // With no camera connected, asks 61385 first and offers the devices with presets.
    void openCameraOptions(int cameraIndex = -1);
    void openDevices(bool presets);
    void openLogs();
    void openMaskEditor(int cameraIndex);
    void openDetectionOptions(int cameraIndex);
    void openAbout();

    // What each confirmed dialog changes, without the dialog (also for tests).
    void applyPreferences(const common::StationSettings& before);
    void applyRemoteViewingOptions();
    // Returns the numbers of the cameras that changed.
    std::vector<int> applyCameraOptions(const std::vector<CameraOptionsPage*>& pages);
    void applyDevices(const std::array<DeviceChoice, 4>& choices, bool autoAdjust, bool presets);
    void runFrameRatePlan();
    void saveMotionSettings(int cameraIndex);
    void saveCaptureSettings(int cameraIndex);

private:
    void applyCamera(int cameraIndex, const common::ChannelSettings& after, const common::CaptureSettings& capture);

    MainWindow* window_;
};

} // namespace vantry::station::ui
