#pragma once

#include "common/service_settings.h"
#include "common/station_settings.h"
#include "station/core/capture_plan.h"

#include <QWidget>

#include <functional>
#include <vector>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace vantry::station::ui {

class Prompter;
class UiTexts;

// One camera's page of the "Camera Options" sheet. It edits a copy of the camera's settings;
// the sheet's OK hands the copies to the station.
class CameraOptionsPage final : public QWidget {
    Q_OBJECT
public:
    CameraOptionsPage(int cameraIndex, const common::ChannelSettings& channel, const common::CaptureSettings& capture,
                      const std::vector<PictureSize>& sizes, bool hasAudioDevice, const UiTexts& texts,
                      Prompter& prompter, std::function<void(uint32_t commandId)> cameraCommand,
                      QWidget* parent = nullptr);

    int cameraIndex() const { return cameraIndex_; }
    common::ChannelSettings channelSettings() const;
    const common::CaptureSettings& captureSettings() const { return capture_; }
    // The chosen size; one whose width lies outside 250..720 is taken as 352 x 288.
    static PictureSize storedSize(const PictureSize& chosen);

    void editCompression();
    void editStorage();
    void editSchedule();

    QLineEdit* cameraName;
    QComboBox* videoDimension;
    QComboBox* recordingType;
    QCheckBox* recordingEnabled;
    QCheckBox* motionDetection;
    QCheckBox* eventNotification;
    QCheckBox* displayLiveVideo;
    QCheckBox* manualTrigger;
    QPushButton* compression;
    QPushButton* storage;
    QPushButton* schedule;
    QPushButton* detectionOptions;
    QPushButton* mask;

private:
    int cameraIndex_;
    common::ChannelSettings channel_;
    common::CaptureSettings capture_;
    bool hasAudioDevice_;
    Prompter& prompter_;
};

} // namespace vantry::station::ui
