#include "station/ui/picture_button.h"

#include <QCursor>
#include <QMouseEvent>
#include <QPainter>

namespace vantry::station::ui {

PictureButton::PictureButton(const QImage& picture, ButtonType type, QWidget* parent)
    : QWidget(parent)
    , picture_(picture)
    , type_(type)
{
    setFixedSize(picture_.width(), picture_.height() / 5);
    setMouseTracking(true);
    setCursor(Qt::PointingHandCursor);
    hoverTimer_.setInterval(kHoverWatchMs);
    connect(&hoverTimer_, &QTimer::timeout, this, &PictureButton::watchCursor);
}

int PictureButton::currentFrame() const
{
    if (state_ == State::Disabled)
        return 0;
    if (pressed_)
        return 2;
    if (state_ == State::On)
        return hover_ ? 1 : 2;
    return hover_ ? 3 : 4;
}

void PictureButton::setOn(bool on)
{
    if (state_ == State::Disabled)
        return;
    state_ = on ? State::On : State::Normal;
    redrawIfChanged();
}

void PictureButton::setButtonEnabled(bool enabled)
{
    if (!enabled)
        state_ = State::Disabled;
    else if (state_ == State::Disabled)
        state_ = State::Normal;
    redrawIfChanged();
}

void PictureButton::redrawIfChanged()
{
    // Pressing and releasing often leave the same frame; no flicker for those.
    if (currentFrame() != shownFrame_)
        update();
}

void PictureButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    shownFrame_ = currentFrame();
    const int h = height();
    painter.drawImage(QPoint(0, 0), picture_, QRect(0, shownFrame_ * h, width(), h));
}

void PictureButton::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || state_ == State::Disabled)
        return;
    pressed_ = true;
    redrawIfChanged();
}

void PictureButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !pressed_)
        return;
    pressed_ = false;
    if (rect().contains(event->position().toPoint()) && state_ != State::Disabled) {
        if (type_ == ButtonType::Toggle)
            state_ = state_ == State::On ? State::Normal : State::On;
        else if (type_ == ButtonType::Latch)
            state_ = State::On;
        redrawIfChanged();
        emit clicked();
        return;
    }
    redrawIfChanged();
}

void PictureButton::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() != Qt::NoButton || hover_)
        return;
    hover_ = true;
    hoverTimer_.start();
    redrawIfChanged();
}

void PictureButton::watchCursor()
{
    if (rect().contains(mapFromGlobal(QCursor::pos())))
        return;
    hoverTimer_.stop();
    hover_ = false;
    redrawIfChanged();
}

} // namespace vantry::station::ui
