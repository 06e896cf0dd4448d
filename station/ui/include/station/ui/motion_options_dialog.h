#pragma once

#include "station/core/motion_settings.h"
#include "station/ui/dialog_checks.h"

#include <QDialog>
#include <QTimer>

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace vantry::station {
class CameraChannel;
}

namespace vantry::station::ui {

class Prompter;

// The motion-detection options of one camera. While it is open the detector's preview slot
// runs with the thresholds being tried, and two bars show each comparison: the largest pixel
// difference (of 255) and the share of changed pixels (of 100 %). Each threshold has a
// Detect button that watches five seconds and proposes the largest value it saw.
class MotionOptionsDialog final : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDetectSeconds = 5;
    enum class Threshold { Level, Volume };

    MotionOptionsDialog(CameraChannel& channel, Prompter& prompter, QWidget* parent = nullptr);
    ~MotionOptionsDialog() override;

    // A typed threshold: refused values show their message and put the current value back.
    bool applyLevelField();
    bool applyVolumeField();
    Refusal check() const;
    MotionOptions options() const;
    void accept() override;

    // One preview comparison (the 200 ms timer calls it).
    void previewTick();
    // The bars from the preview slot's last comparison.
    void showBars();
    void startDetect(Threshold which);
    // One second of a Detect countdown (its 1000 ms timer calls it).
    void detectTick(Threshold which);

    QLineEdit* levelField;
    QLineEdit* volumeField;
    QCheckBox* ignoreShort;
    QLineEdit* shortLength;
    QProgressBar* levelBar;
    QProgressBar* volumeBar;
    QPushButton* detectLevel;
    QPushButton* detectVolume;
    QLabel* levelCountdown;
    QLabel* volumeCountdown;

private:
    struct Detect {
        QTimer timer;
        int ticks = 0;
        int largest = 0;
    };
    Detect& detectOf(Threshold which) { return which == Threshold::Level ? level_ : volume_; }

    CameraChannel& channel_;
    Prompter& prompter_;
    QTimer previewTimer_;
    Detect level_;
    Detect volume_;
    bool previewStarted_ = false;
};

} // namespace vantry::station::ui
