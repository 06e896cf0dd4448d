#include "station/ui/mask_view.h"

#include "station/core/camera_channel.h"
#include "station/ui/frame_image.h"

#include <QMouseEvent>
#include <QPainter>

namespace vantry::station::ui {

QRect maskCell(int x, int y, int gridSize, const QSize& frame)
{
    if (gridSize <= 0 || x < 0 || y < 0 || x >= frame.width() || y >= frame.height())
        return {};
    const int left = x / gridSize * gridSize;
    const int top = y / gridSize * gridSize;
    return QRect(left, top, std::min(gridSize, frame.width() - left), std::min(gridSize, frame.height() - top));
}

MaskView::MaskView(CameraChannel& channel, QWidget* parent)
    : QWidget(parent)
    , channel_(channel)
{
    setMouseTracking(true);
    setCursor(Qt::CrossCursor);
    MotionDetector& detector = channel_.motion().detector();
    // The mask lives at the frame's size; a camera whose detection never ran learns it here.
    if (!detector.frameFormat().isValid()) {
        const FrameFormat format = channel_.frameStore().format().isValid() ? channel_.frameStore().format()
                                                                             : channel_.requestedFormat();
        detector.setFrameFormat(format);
    }
    setFixedSize(displaySize(frameSize()));
    timer_.setInterval(200);
    connect(&timer_, &QTimer::timeout, this, &MaskView::refreshFrame);
    timer_.start();
    refreshFrame();
}

QSize MaskView::frameSize() const
{
    const FrameFormat& format = channel_.motion().detector().frameFormat();
    return format.isValid() ? QSize(format.width, format.absHeight()) : QSize(352, 288);
}

QSize MaskView::displaySize(const QSize& frame)
{
    if (frame == QSize(256, 240))
        return { 320, 240 };
    return frame;
}

QPoint MaskView::toFramePixel(const QPoint& p) const
{
    const QSize frame = frameSize();
    return { p.x() * frame.width() / std::max(1, width()), p.y() * frame.height() / std::max(1, height()) };
}

void MaskView::refreshFrame()
{
    FrameFormat format;
    const size_t bytes = channel_.frameStore().GetNewest(&buffer_, stamp_, std::chrono::milliseconds(0), &format);
    if (bytes == 0)
        return;
    QImage image = frameToImage(format, buffer_.data(), bytes);
    if (!image.isNull()) {
        picture_ = std::move(image);
        update();
    }
}

void MaskView::markAt(const QPoint& pixel, bool watched, bool fromRightButton)
{
    MotionDetector& detector = channel_.motion().detector();
    if (fromRightButton && !detector.mask())
        return;
    const QSize frame = frameSize();
    if (pixel.x() < 0 || pixel.y() < 0 || pixel.x() >= frame.width() || pixel.y() >= frame.height())
        return;
    detector.markCell(pixel.x(), pixel.y(), watched);
    update();
    emit maskChanged();
}

void MaskView::handleMouse(QMouseEvent* event)
{
    const QPoint pixel = toFramePixel(event->position().toPoint());
    emit cursorMoved(pixel.x(), pixel.y());
    const bool left = event->buttons() & Qt::LeftButton;
    const bool right = event->buttons() & Qt::RightButton;
    if (right)
        markAt(pixel, true, true);
    else if (left)
        markAt(pixel, (event->modifiers() & Qt::ShiftModifier) != 0, false);
}

void MaskView::mousePressEvent(QMouseEvent* event)
{
    handleMouse(event);
}

void MaskView::mouseMoveEvent(QMouseEvent* event)
{
    handleMouse(event);
}

void MaskView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (picture_.isNull())
        painter.fillRect(rect(), Qt::black);
    else
        painter.drawImage(rect(), picture_);
    const MotionDetector& detector = channel_.motion().detector();
    const MotionSettings& settings = detector.settings();
    const QSize frame = frameSize();
    const double sx = double(width()) / frame.width();
    const double sy = double(height()) / frame.height();
    const int grid = std::clamp(settings.gridSize, MotionSettings::kMinGridSize, MotionSettings::kMaxGridSize);
    if (const auto& mask = detector.mask(); mask && mask->width() == frame.width() && mask->height() == frame.height()) {
        const QColor cover = settings.transparentMask ? QColor(200, 30, 30, 110) : QColor(40, 40, 40);
        for (int y = 0; y < frame.height(); y += grid)
            for (int x = 0; x < frame.width(); x += grid) {
                // Rows of the mask run bottom-up.
                const int row = mask->height() - 1 - y;
                if (mask->pixels()[static_cast<size_t>(row) * mask->stride() + static_cast<size_t>(x)] != 0)
                    continue;
                const QRect cell = maskCell(x, y, grid, frame);
                painter.fillRect(QRectF(cell.x() * sx, cell.y() * sy, cell.width() * sx, cell.height() * sy), cover);
            }
    }
    if (settings.displayGrid) {
        painter.setPen(QColor(255, 255, 255, 200));
        for (int x = grid; x < frame.width(); x += grid)
            painter.drawLine(QPointF(x * sx, 0), QPointF(x * sx, height()));
        for (int y = grid; y < frame.height(); y += grid)
            painter.drawLine(QPointF(0, y * sy), QPointF(width(), y * sy));
    }
}

} // namespace vantry::station::ui
