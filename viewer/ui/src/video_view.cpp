#include "viewer_ui/video_view.h"

#include "viewer/viewer_session.h"

#include <QCursor>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPolygonF>

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

namespace {

// An arrow pointing at angleDegrees (0 = right, clockwise), one for each of the eight zones.
QCursor directionCursor(int angleDegrees)
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(16, 16);
    p.rotate(angleDegrees);
    const QPolygonF arrow({ QPointF(12, 0), QPointF(2, -8), QPointF(2, -3), QPointF(-10, -3), QPointF(-10, 3),
                            QPointF(2, 3), QPointF(2, 8) });
    p.setPen(QPen(Qt::black, 1.5));
    p.setBrush(Qt::white);
    p.drawPolygon(arrow);
    return QCursor(pixmap, 16, 16);
}

int zoneAngle(const std::vector<uint32_t>& commands)
{
    int dx = 0, dy = 0;
    for (uint32_t command : commands) {
        dx += command == 8 ? 1 : command == 7 ? -1 : 0;
        dy += command == 6 ? 1 : command == 5 ? -1 : 0;
    }
    static constexpr int kAngles[3][3] = { { 225, 180, 135 }, { 270, 0, 90 }, { 315, 0, 45 } };
    return kAngles[dx + 1][dy + 1];
}

} // namespace

void VideoView::mouseMoveEvent(QMouseEvent* event)
{
    if (!onScreenPtz_ || session_.link().cameraStatus() == 0) {
        unsetCursor();
        return;
    }
    const auto commands = zoneCommands(rect(), event->position().toPoint());
    if (commands.empty())
        setCursor(Qt::ArrowCursor);
    else
        setCursor(directionCursor(zoneAngle(commands)));
}

} // namespace vantry::viewer_ui
