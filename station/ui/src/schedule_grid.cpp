#include "station/ui/schedule_grid.h"

#include <QMouseEvent>
#include <QPainter>

namespace vantry::station::ui {

namespace {
constexpr int kLabelWidth = 40;
constexpr int kLabelHeight = 20;
constexpr int kCell = 22;
const char* const kDays[7] = { "Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat" };
} // namespace

ScheduleGrid::ScheduleGrid(QWidget* parent)
    : QWidget(parent)
{
    setMouseTracking(false);
    setMinimumSize(sizeHint());
}

QSize ScheduleGrid::sizeHint() const
{
    return { kLabelWidth + 24 * kCell + 1, kLabelHeight + 7 * kCell + 1 };
}

void ScheduleGrid::setWords(const std::array<uint32_t, 7>& words)
{
    for (size_t i = 0; i < 7; ++i)
        words_[i] = words[i] & kAllHours;
    update();
}

bool ScheduleGrid::cellAt(const QPoint& p, int* day, int* hour) const
{
    if (p.x() < kLabelWidth || p.y() < kLabelHeight)
        return false;
    const int h = (p.x() - kLabelWidth) / kCell;
    const int d = (p.y() - kLabelHeight) / kCell;
    if (h < 0 || h > 23 || d < 0 || d > 6)
        return false;
    *day = d;
    *hour = h;
    return true;
}

void ScheduleGrid::mark(QMouseEvent* event)
{
    int day = 0;
    int hour = 0;
    if (!cellAt(event->position().toPoint(), &day, &hour))
        return;
    const bool clear = (event->buttons() & Qt::RightButton)
        || ((event->buttons() & Qt::LeftButton) && (event->modifiers() & Qt::ShiftModifier));
    const bool set = !clear && (event->buttons() & Qt::LeftButton);
    uint32_t& word = words_[static_cast<size_t>(day)];
    const uint32_t before = word;
    if (set)
        word |= 1u << hour;
    else if (clear)
        word &= ~(1u << hour);
    if (word != before)
        update();
}

void ScheduleGrid::mousePressEvent(QMouseEvent* event)
{
    mark(event);
}

void ScheduleGrid::mouseMoveEvent(QMouseEvent* event)
{
    mark(event);
}

void ScheduleGrid::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), palette().base());
    p.setPen(palette().text().color());
    QFont small = font();
    small.setPixelSize(10);
    p.setFont(small);
    for (int h = 0; h < 24; ++h)
        p.drawText(QRect(kLabelWidth + h * kCell, 0, kCell, kLabelHeight), Qt::AlignCenter,
                   QStringLiteral("%1").arg(h, 2, 10, QLatin1Char('0')));
    for (int d = 0; d < 7; ++d) {
        p.setPen(palette().text().color());
        p.drawText(QRect(0, kLabelHeight + d * kCell, kLabelWidth - 4, kCell), Qt::AlignRight | Qt::AlignVCenter, kDays[d]);
        for (int h = 0; h < 24; ++h) {
            const QRect cell(kLabelWidth + h * kCell, kLabelHeight + d * kCell, kCell, kCell);
            if (words_[static_cast<size_t>(d)] & (1u << h))
                p.fillRect(cell, QColor(0, 150, 150));
            p.setPen(QColor(160, 160, 160));
            p.drawRect(cell);
        }
    }
}

} // namespace vantry::station::ui
