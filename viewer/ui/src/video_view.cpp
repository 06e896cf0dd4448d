#include "viewer_ui/video_view.h"

#include "viewer/viewer_session.h"

#include <QMouseEvent>
#include <QPainter>

namespace vantry::viewer_ui {

VideoView::VideoView(viewer::ViewerSession& session, QPixmap noSignal, QWidget* parent)
    : QWidget(parent)
    , session_(session)
    , noSignal_(std::move(noSignal))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setMinimumSize(160, 120);
}

void VideoView::setOnScreenPtz(bool on)
{
    onScreenPtz_ = on;
    if (!on)
        unsetCursor();
}

void VideoView::refresh()
{
    viewer::Picture picture;
    if (session_.showVideo() && session_.link().picture(picture)) {
        image_ = QImage(picture.bgr.data(), picture.width, picture.height, picture.width * 3, QImage::Format_BGR888).copy();
    } else {
        image_ = QImage();
    }
    update();
}

void VideoView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (!image_.isNull())
        painter.drawImage(rect(), image_);
    else if (!noSignal_.isNull())
        painter.drawPixmap(rect(), noSignal_);
    else
        painter.fillRect(rect(), palette().window());
}

std::vector<uint32_t> VideoView::zoneCommands(const QRect& area, const QPoint& point)
{
    if (!area.contains(point))
        return {};
    const bool left = point.x() < area.left() + kZoneBand;
    const bool right = point.x() > area.right() - kZoneBand;
    const bool top = point.y() < area.top() + kZoneBand;
    const bool bottom = point.y() > area.bottom() - kZoneBand;
    std::vector<uint32_t> commands;
    if (top)
        commands.push_back(5);
    else if (bottom)
        commands.push_back(6);
    if (left)
        commands.push_back(7);
    else if (right)
        commands.push_back(8);
    return commands;
}

void VideoView::mousePressEvent(QMouseEvent* event)
{
    if (!onScreenPtz_ || event->button() != Qt::LeftButton || session_.link().cameraStatus() == 0)
        return;
    for (uint32_t command : zoneCommands(rect(), event->position().toPoint()))
        session_.ptz(command);
}

void VideoView::mouseMoveEvent(QMouseEvent* event)
{
    if (!onScreenPtz_ || session_.link().cameraStatus() == 0) {
        unsetCursor();
        return;
    }
    const auto commands = zoneCommands(rect(), event->position().toPoint());
    if (commands.empty()) {
        setCursor(Qt::ArrowCursor);
        return;
    }
    const bool vertical = commands.front() == 5 || commands.front() == 6;
    const bool horizontal = commands.back() == 7 || commands.back() == 8;
    if (vertical && horizontal) {
        const bool falling = (commands.front() == 5) == (commands.back() == 7);
        setCursor(falling ? Qt::SizeFDiagCursor : Qt::SizeBDiagCursor);
    } else {
        setCursor(vertical ? Qt::SizeVerCursor : Qt::SizeHorCursor);
    }
}

} // namespace vantry::viewer_ui
