#pragma once

#include <QDialog>

#include <array>
#include <cstdint>

namespace vantry::station::ui {

class ScheduleGrid;

// "Schedule": the weekly recording hours of one camera.
class ScheduleDialog final : public QDialog {
    Q_OBJECT
public:
    explicit ScheduleDialog(const std::array<uint32_t, 7>& words, QWidget* parent = nullptr);
    std::array<uint32_t, 7> words() const;
    ScheduleGrid* grid() const { return grid_; }
    void selectAll();
    void clearAll();

private:
    ScheduleGrid* grid_;
};

} // namespace vantry::station::ui
