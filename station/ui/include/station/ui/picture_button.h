#pragma once

#include "station/ui/skin.h"

#include <QTimer>
#include <QWidget>

namespace vantry::station::ui {

// A skinned button: one picture of five frames stacked vertically (disabled, on under the
// mouse, pressed or on, under the mouse, normal); its type says what a press does.
class PictureButton final : public QWidget {
    Q_OBJECT
public:
    enum class State { Normal, On, Disabled };
    static constexpr int kHoverWatchMs = 100;

    PictureButton(const QImage& picture, ButtonType type, QWidget* parent = nullptr);

    State state() const { return state_; }
    bool isOn() const { return state_ == State::On; }
    void setOn(bool on);
    void setButtonEnabled(bool enabled);
    // The frame drawn now: 0 disabled, 1 on under the mouse, 2 pressed or on, 3 under the
    // mouse, 4 normal.
    int currentFrame() const;

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void watchCursor();
    void redrawIfChanged();

    QImage picture_;
    ButtonType type_;
    State state_ = State::Normal;
    bool pressed_ = false;
    bool hover_ = false;
    int shownFrame_ = -1;
    QTimer hoverTimer_; // timer 2: notices when the cursor has left
};

} // namespace vantry::station::ui
