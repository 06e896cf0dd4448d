#pragma once

#include "station/core/frame_store.h"

#include <QImage>
#include <QTimer>
#include <QWidget>

namespace vantry::station {
class CameraChannel;
}

namespace vantry::station::ui {

// The grid cell that holds frame pixel (x, y): a gridSize square aligned to multiples of
// gridSize, clipped at the frame's right and bottom edges. Empty outside the frame.
QRect maskCell(int x, int y, int gridSize, const QSize& frame);

// The camera's live picture with its detection mask over it. The left button marks the
// cells it passes as not watched; the right button, or Shift with the left, as watched.
class MaskView final : public QWidget {
    Q_OBJECT
public:
    explicit MaskView(CameraChannel& channel, QWidget* parent = nullptr);

    CameraChannel& channel() const { return channel_; }
    QSize frameSize() const;
    // The size the frame is shown at: 256 x 240 pictures are shown 320 wide.
    static QSize displaySize(const QSize& frame);
    QPoint toFramePixel(const QPoint& widgetPoint) const;
    // Marks the cell under a frame pixel; watched cells only while a mask exists when the
    // right button asks (a press that has nothing to undo does nothing).
    void markAt(const QPoint& framePixel, bool watched, bool fromRightButton);
    void refreshFrame();

signals:
    void cursorMoved(int x, int y);
    void maskChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void handleMouse(QMouseEvent* event);

    CameraChannel& channel_;
    QImage picture_;
    FrameStamp stamp_;
    std::vector<uint8_t> buffer_;
    QTimer timer_;
};

} // namespace vantry::station::ui
