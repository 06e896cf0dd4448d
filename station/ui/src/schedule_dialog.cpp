#include "station/ui/schedule_dialog.h"

#include "station/ui/schedule_grid.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vantry::station::ui {

ScheduleDialog::ScheduleDialog(const std::array<uint32_t, 7>& words, QWidget* parent)
    : QDialog(parent)
    , grid_(new ScheduleGrid(this))
{
    setWindowTitle("Schedule");
    grid_->setWords(words);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grid_);
    layout->addWidget(new QLabel("Drag left mouse to define recording schedule.  Drag right mouse (or shift + left mouse) "
                                 "to clear recording schedule.",
                                 this));
    auto* row = new QHBoxLayout;
    auto* all = new QPushButton("&Select All", this);
    auto* none = new QPushButton("&Clear all", this);
    row->addWidget(all);
    row->addWidget(none);
    row->addStretch();
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    row->addWidget(buttons);
    layout->addLayout(row);
    connect(all, &QPushButton::clicked, this, &ScheduleDialog::selectAll);
    connect(none, &QPushButton::clicked, this, &ScheduleDialog::clearAll);
    connect(buttons, &QDialogButtonBox::accepted, this, &ScheduleDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ScheduleDialog::reject);
}

std::array<uint32_t, 7> ScheduleDialog::words() const
{
    return grid_->words();
}

void ScheduleDialog::selectAll()
{
    std::array<uint32_t, 7> words;
    words.fill(ScheduleGrid::kAllHours);
    grid_->setWords(words);
}

void ScheduleDialog::clearAll()
{
    grid_->setWords({});
}

} // namespace vantry::station::ui
