#pragma once

#include "common/service_settings.h"

#include <QDialog>

class QComboBox;
class QLineEdit;
class QRadioButton;
class QSlider;

namespace vantry::station::ui {

// "Compression Options": the video and audio codecs, the video quality and whether sound is
// recorded.
class CompressionDialog final : public QDialog {
    Q_OBJECT
public:
    CompressionDialog(const common::CaptureSettings& capture, bool recordAudio, bool hasAudioDevice,
                      QWidget* parent = nullptr);

    void store(common::CaptureSettings& capture, int32_t& recordAudio) const;
    void accept() override;

    QComboBox* videoCodec;
    QComboBox* audioCodec;
    QSlider* quality;
    QLineEdit* qualityField;
    QRadioButton* videoOnly;
    QRadioButton* videoAndAudio;
};

} // namespace vantry::station::ui
