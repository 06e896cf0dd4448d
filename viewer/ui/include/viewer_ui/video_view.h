// The part of the window that shows the video: the last decoded picture stretched over the
// view, or the skin's no-signal picture. With on-screen pan and tilt on, a press in the
// 20-pixel bands along the edges sends that direction's PTZ commands.
#pragma once

#include <QImage>
#include <QPixmap>
#include <QWidget>

#include <cstdint>
#include <vector>

namespace vantry::viewer {
class ViewerSession;
}

namespace vantry::viewer_ui {

class VideoView : public QWidget {
    Q_OBJECT

public:
    static constexpr int kZoneBand = 20;

    VideoView(viewer::ViewerSession& session, QPixmap noSignal, QWidget* parent = nullptr);
    void setOnScreenPtz(bool on);
    bool onScreenPtz() const { return onScreenPtz_; }
    // The picture shown now (null when the no-signal picture is shown).
    QImage currentImage() const { return image_; }
    // The PTZ commands (in order) a press at point sends; empty in the inner area.
    static std::vector<uint32_t> zoneCommands(const QRect& area, const QPoint& point);

public slots:
    void refresh();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    viewer::ViewerSession& session_;
    QPixmap noSignal_;
    QImage image_;
    bool onScreenPtz_ = false;
};

} // namespace vantry::viewer_ui
