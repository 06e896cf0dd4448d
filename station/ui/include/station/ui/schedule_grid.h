#pragma once

#include <QWidget>

#include <array>
#include <cstdint>

namespace vantry::station::ui {

// Seven days by 24 hours; a filled cell is a scheduled hour. The left button sets the cells
// it passes, the right button (or Shift with the left) clears them.
class ScheduleGrid final : public QWidget {
    Q_OBJECT
public:
    static constexpr uint32_t kAllHours = 0xFFFFFF;

    explicit ScheduleGrid(QWidget* parent = nullptr);

    void setWords(const std::array<uint32_t, 7>& words);
    const std::array<uint32_t, 7>& words() const { return words_; }
    // The day (0 Sunday) and hour under a point, false outside the cells.
    bool cellAt(const QPoint& point, int* day, int* hour) const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void mark(QMouseEvent* event);

    std::array<uint32_t, 7> words_ {};
};

} // namespace vantry::station::ui
