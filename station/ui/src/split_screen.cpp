#include "station/ui/split_screen.h"

#include "station/core/station_hub.h"
#include "station/ui/frame_image.h"

#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QTime>

namespace vantry::station::ui {

namespace {

const QColor kCaption(51, 51, 51);
const QColor kCaptionSelected(102, 102, 102);
const QColor kFrameSelected(0, 196, 196);
const QColor kFrameOther(128, 128, 128);

} // namespace

SplitScreen::SplitScreen(const Skin& skin, StationHub* hub, QWidget* parent)
    : QWidget(parent)
    , skin_(skin)
    , hub_(hub)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    refreshTimer_.setInterval(kRefreshMs);
    connect(&refreshTimer_, &QTimer::timeout, this, &SplitScreen::refreshFrames);
    refreshTimer_.start();
    captionTimer_.setInterval(1000);
    connect(&captionTimer_, &QTimer::timeout, this, [this] { update(); });
    captionTimer_.start();
    connect(&loopTimer_, &QTimer::timeout, this, &SplitScreen::showNextInLoop);
    updateNaturalSize();
}

bool SplitScreen::hasDevice(int cameraIndex) const
{
    CameraChannel* channel = hub_ ? hub_->channel(cameraIndex) : nullptr;
    return channel && channel->hasVideoDevice();
}

bool SplitScreen::liveOn(int cameraIndex) const
{
    return hub_ && hub_->settings().channels[static_cast<size_t>(cameraIndex)].displayLiveVideo != 0;
}

std::array<std::optional<QSize>, 4> SplitScreen::captureSizes() const
{
    std::array<std::optional<QSize>, 4> sizes;
    for (int camera = 0; camera < 4; ++camera) {
        if (!hasDevice(camera))
            continue;
        const FrameFormat format = hub_->channel(camera)->requestedFormat();
        if (format.width > 0 && format.absHeight() > 0)
            sizes[static_cast<size_t>(camera)] = QSize(format.width, format.absHeight());
    }
    return sizes;
}

int SplitScreen::captionBarHeight() const
{
    const bool caption = hub_ && hub_->settings().caption != 0;
    const int iconHeight = skin_.captionIcons[0].isNull() ? 0 : skin_.captionIcons[0].height();
    return geometry::captionHeight(caption, fontMetrics().height(), iconHeight);
}

QSize SplitScreen::naturalSize() const
{
    return geometry::splitScreenSize(layoutMode_, captureSizes(), skin_.defaultVideo, captionBarHeight());
}

void SplitScreen::updateNaturalSize()
{
    const QSize size = naturalSize();
    if (size == natural_)
        return;
    natural_ = size;
    if (!fullScreen_)
        resize(natural_);
    emit naturalSizeChanged();
    update();
}

std::vector<int> SplitScreen::visibleCameras() const
{
    std::vector<int> cameras;
    for (int camera = 0; camera < 4; ++camera)
        if (hasDevice(camera) && liveOn(camera))
            cameras.push_back(camera);
    return cameras;
}

void SplitScreen::setLayoutMode(int mode)
{
    layoutMode_ = (mode >= 0 && mode < 4) ? mode : geometry::kAllCameras;
    natural_ = QSize();
    updateNaturalSize();
    update();
}

void SplitScreen::setSelectedCamera(int cameraIndex)
{
    if (cameraIndex < 0 || cameraIndex > 3)
        return;
    selected_ = cameraIndex;
    update();
}

void SplitScreen::setLiveVideo(int cameraIndex, bool on)
{
    if (cameraIndex < 0 || cameraIndex > 3)
        return;
    if (!on)
        images_[static_cast<size_t>(cameraIndex)] = QImage();
    stamps_[static_cast<size_t>(cameraIndex)] = FrameStamp {};
    update();
}

void SplitScreen::setCaptionLights(int cameraIndex, int detectionState, int recordingState)
{
    if (cameraIndex < 0 || cameraIndex > 3)
        return;
    detectionLight_[static_cast<size_t>(cameraIndex)] = detectionState;
    recordingLight_[static_cast<size_t>(cameraIndex)] = recordingState;
    update(cellRect(cameraIndex));
}

bool SplitScreen::startLoop(int dwellMs)
{
    if (visibleCameras().size() < 2)
        return false;
    loopTimer_.start(std::max(dwellMs, 100));
    showNextInLoop();
    return true;
}

void SplitScreen::stopLoop()
{
    loopTimer_.stop();
}

void SplitScreen::showNextInLoop()
{
    const int start = layoutMode_ >= 0 && layoutMode_ < 4 ? layoutMode_ : 3;
    for (int step = 1; step <= 4; ++step) {
        const int camera = (start + step) % 4;
        if (hasDevice(camera) && liveOn(camera)) {
            setLayoutMode(camera);
            return;
        }
    }
}

QRect SplitScreen::naturalCellRect(int cameraIndex) const
{
    const int caption = captionBarHeight();
    if (layoutMode_ >= 0 && layoutMode_ < 4) {
        if (cameraIndex != layoutMode_)
            return {};
        return QRect(2, 2, natural_.width() - 4, natural_.height() - 4);
    }
    const QSize cell = geometry::cellSize(captureSizes(), skin_.defaultVideo);
    const int col = cameraIndex % 2;
    const int row = cameraIndex / 2;
    return QRect(1 + col * (cell.width() + 4), 1 + row * (cell.height() + caption + 4), cell.width() + 2,
                 cell.height() + caption + 2);
}

QRect SplitScreen::cellRect(int cameraIndex) const
{
    const QRect r = naturalCellRect(cameraIndex);
    if (r.isEmpty() || natural_.isEmpty())
        return r;
    const double sx = double(width()) / natural_.width();
    const double sy = double(height()) / natural_.height();
    return QRect(QPoint(int(r.left() * sx), int(r.top() * sy)), QPoint(int((r.right() + 1) * sx) - 1, int((r.bottom() + 1) * sy) - 1));
}

int SplitScreen::cameraAt(const QPoint& point) const
{
    for (int camera = 0; camera < 4; ++camera)
        if (cellRect(camera).contains(point))
            return camera;
    return -1;
}

void SplitScreen::refreshFrames()
{
    // Nobody sees a minimised window: no frames are converted for it.
    if (!hub_ || !isVisible() || window()->isMinimized())
        return;
    for (int camera = 0; camera < 4; ++camera) {
        const auto i = static_cast<size_t>(camera);
        if (cellRect(camera).isEmpty() || !hasDevice(camera) || !liveOn(camera))
            continue;
        FrameFormat format;
        FrameStore& store = hub_->channel(camera)->frameStore();
        // Never wait here: the window's thread is the hub's thread.
        const size_t bytes = store.GetNewest(&frameBuffer_, stamps_[i], std::chrono::milliseconds(0), &format);
        if (bytes == 0)
            continue;
        QImage image = frameToImage(format, frameBuffer_.data(), bytes);
        if (image.isNull())
            continue;
        images_[i] = std::move(image);
        update(cellRect(camera));
    }
    updateNaturalSize();
}

void SplitScreen::paintCell(QPainter& painter, int camera, const QRect& outer)
{
    const bool all = layoutMode_ == geometry::kAllCameras;
    const bool selected = all && camera == selected_;
    painter.setPen(all ? (selected ? kFrameSelected : kFrameOther) : kFrameOther);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(outer.adjusted(0, 0, -1, -1));
    const QRect inner = outer.adjusted(1, 1, -1, -1);
    const double sy = natural_.isEmpty() ? 1.0 : double(height()) / natural_.height();
    const int caption = int(captionBarHeight() * sy);
    const QRect bar(inner.left(), inner.top(), inner.width(), caption);
    const QRect video(inner.left(), inner.top() + caption, inner.width(), inner.height() - caption);
    const bool device = hasDevice(camera);
    if (caption > 0) {
        painter.fillRect(bar, selected ? kCaptionSelected : kCaption);
        if (device) {
            const auto i = static_cast<size_t>(camera);
            const QString name = QString::fromStdString(hub_->settings().channels[i].cameraName);
            painter.setPen(Qt::white);
            const QRect textRect = bar.adjusted(6, 0, -6, 0);
            painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, name);
            int x = textRect.left() + painter.fontMetrics().horizontalAdvance(name) + 8;
            const auto drawIcon = [&](const QImage& icon) {
                if (icon.isNull())
                    return;
                painter.drawImage(QPoint(x, bar.top() + (bar.height() - icon.height()) / 2), icon);
                x += icon.width() + 4;
            };
            if (recordingLight_[i] == 1)
                drawIcon(skin_.captionIcons[0]);
            if (detectionLight_[i] == 2)
                drawIcon(skin_.captionIcons[1]);
            else if (detectionLight_[i] == 3)
                drawIcon(skin_.captionIcons[2]);
            painter.setPen(Qt::white);
            QString format = QLocale::system().timeFormat(QLocale::LongFormat);
            format.remove(QLatin1Char('t'));
            painter.drawText(textRect, Qt::AlignRight | Qt::AlignVCenter,
                             QLocale::system().toString(QTime::currentTime(), format.trimmed()));
        }
    }
    painter.fillRect(video, Qt::black);
    const QImage& image = images_[static_cast<size_t>(camera)];
    if (device && liveOn(camera) && !image.isNull())
        painter.drawImage(video, image);
}

void SplitScreen::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    for (int camera = 0; camera < 4; ++camera) {
        const QRect outer = cellRect(camera);
        if (!outer.isEmpty())
            paintCell(painter, camera, outer);
    }
}

void SplitScreen::mousePressEvent(QMouseEvent* event)
{
    const int camera = cameraAt(event->position().toPoint());
    if (camera < 0)
        return;
    if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton)
        if (layoutMode_ == geometry::kAllCameras)
            emit cameraPressed(camera);
}

void SplitScreen::mouseReleaseEvent(QMouseEvent* event)
{
    const int camera = cameraAt(event->position().toPoint());
    if (camera >= 0 && event->button() == Qt::RightButton && !fullScreen_)
        emit contextMenuRequested(camera, event->globalPosition().toPoint());
}

void SplitScreen::mouseDoubleClickEvent(QMouseEvent* event)
{
    const int camera = cameraAt(event->position().toPoint());
    if (camera >= 0 && event->button() == Qt::LeftButton)
        emit cameraDoubleClicked(camera);
}

} // namespace vantry::station::ui
