#pragma once

#include "station/ui/skin.h"

#include <QWidget>

#include <array>

namespace vantry::station::ui {

// Four lights per camera (video, audio, detection, recording) over the panel's background.
class StatusPanel final : public QWidget {
    Q_OBJECT
public:
    static constexpr int kStateCount = 6;

    StatusPanel(const Skin& skin, QWidget* parent = nullptr);

    // Stores the state and redraws that light; out-of-range arguments are ignored.
    void setLight(int kind, int state, int cameraIndex);
    int light(int kind, int cameraIndex) const;

signals:
    void lightChanged(int cameraIndex, int kind, int state);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRect lightRect(int cameraIndex, int kind) const;

    const Skin& skin_;
    std::array<std::array<int, 4>, 4> states_ {};
};

} // namespace vantry::station::ui
