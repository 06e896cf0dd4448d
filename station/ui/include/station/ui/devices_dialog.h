#pragma once

#include "station/core/capture_device.h"
#include "station/ui/dialog_checks.h"

#include <QDialog>

#include <array>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;

namespace vantry::station::ui {

class Prompter;

struct DeviceChoice {
    std::string video; // display name, empty = "None"
    std::string audio;
    friend bool operator==(const DeviceChoice&, const DeviceChoice&) = default;
};

// "Device Settings": a video and an audio source per camera and the frame-rate switch.
// Opened with presets, camera n starts on the n-th video device and every audio on "None".
class DevicesDialog final : public QDialog {
    Q_OBJECT
public:
    DevicesDialog(const std::vector<CaptureDevice>& video, const std::vector<CaptureDevice>& audio,
                  const std::array<DeviceChoice, 4>& current, bool autoAdjust, bool presets, Prompter& prompter,
                  QWidget* parent = nullptr);

    // Two cameras on one device (other than "None") are refused: 61359 video, 61360 audio.
    Refusal check() const;
    std::array<DeviceChoice, 4> choices() const;
    bool autoAdjust() const;
    bool openedWithPresets() const { return presets_; }
    void accept() override;

    std::array<QComboBox*, 4> videoLists {};
    std::array<QComboBox*, 4> audioLists {};
    QCheckBox* autoAdjustBox;

private:
    void followVideo(int cameraIndex);

    bool presets_;
    Prompter& prompter_;
};

} // namespace vantry::station::ui
