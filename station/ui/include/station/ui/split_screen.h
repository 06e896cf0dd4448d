#pragma once

#include "station/core/frame_store.h"
#include "station/ui/display_geometry.h"
#include "station/ui/skin.h"

#include <QImage>
#include <QTimer>
#include <QWidget>

#include <array>
#include <functional>
#include <optional>
#include <vector>

namespace vantry::station {
class StationHub;
}

namespace vantry::station::ui {

// The live video of one or all four cameras, each cell a caption bar over the newest frame
// of that camera's frame store. Paints the cells itself and scales them when it is given
// more room than its natural size (full screen).
class SplitScreen final : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRefreshMs = 100;

    SplitScreen(const Skin& skin, StationHub* hub, QWidget* parent = nullptr);

    // 0..3: that camera alone; geometry::kAllCameras: all four.
    void setLayoutMode(int mode);
    int layoutMode() const { return layoutMode_; }
    void setSelectedCamera(int cameraIndex);
    int selectedCamera() const { return selected_; }
    void setLiveVideo(int cameraIndex, bool on);
    // Lights that show in the caption: detection (2 motion, 3 blink) and recording (1).
    void setCaptionLights(int cameraIndex, int detectionState, int recordingState);

    // The size for the current layout and the cameras' capture sizes.
    QSize naturalSize() const;
    void updateNaturalSize();
    // Cameras that have a device and show live video.
    std::vector<int> visibleCameras() const;

    // Loop display: false (nothing started) when fewer than two cameras are visible.
    bool startLoop(int dwellMs);
    void stopLoop();
    bool isLooping() const { return loopTimer_.isActive(); }
    void showNextInLoop();

    void setFullScreenMode(bool on) { fullScreen_ = on; }
    bool isFullScreenMode() const { return fullScreen_; }

    // The camera whose cell holds this point, or -1.
    int cameraAt(const QPoint& point) const;
    // The rectangle of a camera's cell (frame included) in widget coordinates; empty when
    // the camera is not shown.
    QRect cellRect(int cameraIndex) const;
    // Pulls the newest frames (the refresh timer calls it).
    void refreshFrames();
    const QImage& lastImage(int cameraIndex) const { return images_[static_cast<size_t>(cameraIndex & 3)]; }

signals:
    // What the mouse did on a camera: the window turns these into commands.
    void cameraPressed(int cameraIndex);
    void cameraDoubleClicked(int cameraIndex);
    void contextMenuRequested(int cameraIndex, const QPoint& globalPosition);
    void naturalSizeChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    std::array<std::optional<QSize>, 4> captureSizes() const;
    int captionBarHeight() const;
    QRect naturalCellRect(int cameraIndex) const;
    void paintCell(QPainter& painter, int cameraIndex, const QRect& outer);
    bool hasDevice(int cameraIndex) const;
    bool liveOn(int cameraIndex) const;

    const Skin& skin_;
    StationHub* hub_;
    int layoutMode_ = geometry::kAllCameras;
    int selected_ = 0;
    bool fullScreen_ = false;
    QSize natural_;
    std::array<QImage, 4> images_;
    std::array<FrameStamp, 4> stamps_ {};
    std::array<int, 4> detectionLight_ {};
    std::array<int, 4> recordingLight_ {};
    std::vector<uint8_t> frameBuffer_;
    QTimer refreshTimer_;
    QTimer captionTimer_; // the caption's clock, once a second
    QTimer loopTimer_;    // timer 12
};

} // namespace vantry::station::ui
