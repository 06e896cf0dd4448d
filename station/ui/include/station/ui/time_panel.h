#pragma once

#include "station/ui/skin.h"

#include <QDateTime>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace vantry::station::ui {

// The date and the time, or the pause countdown "Left %d seconds", redrawn every second.
class TimePanel final : public QWidget {
    Q_OBJECT
public:
    explicit TimePanel(const Skin& skin, QWidget* parent = nullptr);

    // Counts down from seconds, once a second; 0 or less shows the time again.
    void setCountdown(int seconds);
    int countdown() const { return countdown_; }
    // The second line as it reads now.
    QString timeLine() const;
    QString dateLine() const;
    void setClock(std::function<QDateTime()> clock) { clock_ = std::move(clock); }
    // One tick of the second timer (tests call it directly).
    void tick();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const Skin& skin_;
    QTimer timer_;
    int countdown_ = 0;
    std::function<QDateTime()> clock_;
};

} // namespace vantry::station::ui
