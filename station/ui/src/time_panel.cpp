#include "station/ui/time_panel.h"

#include <QLocale>
#include <QPainter>

namespace vantry::station::ui {

TimePanel::TimePanel(const Skin& skin, QWidget* parent)
    : QWidget(parent)
    , skin_(skin)
    , clock_([] { return QDateTime::currentDateTime(); })
{
    setFixedSize(skin_.timeBackground.isNull() ? QSize(250, 70) : skin_.timeBackground.size());
    timer_.setInterval(1000);
    connect(&timer_, &QTimer::timeout, this, &TimePanel::tick);
    timer_.start();
}

void TimePanel::setCountdown(int seconds)
{
    countdown_ = std::max(seconds, 0);
    update();
}

void TimePanel::tick()
{
    if (countdown_ > 0)
        --countdown_;
    update();
}

QString TimePanel::dateLine() const
{
    return QLocale::system().toString(clock_().date(), QLocale::ShortFormat);
}

QString TimePanel::timeLine() const
{
    if (countdown_ > 0)
        return QStringLiteral("Left %1 seconds").arg(countdown_);
    // The system's long time format without its time zone.
    QString format = QLocale::system().timeFormat(QLocale::LongFormat);
    format.remove(QLatin1Char('t'));
    return QLocale::system().toString(clock_().time(), format.trimmed());
}

void TimePanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (!skin_.timeBackground.isNull())
        painter.drawImage(QPoint(0, 0), skin_.timeBackground);
    else
        painter.fillRect(rect(), Qt::black);
    QFont font = painter.font();
    font.setPixelSize(std::max(12, height() / 4));
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(skin_.timeColour);
    const int lineHeight = painter.fontMetrics().height();
    // The gap between the lines is a fifth of the height the two lines leave free.
    const int freeHeight = std::max(0, height() - 2 * lineHeight);
    const int gap = freeHeight / 5;
    const int top = (height() - 2 * lineHeight - gap) / 2;
    painter.drawText(QRect(0, top, width(), lineHeight), Qt::AlignCenter, dateLine());
    painter.drawText(QRect(0, top + lineHeight + gap, width(), lineHeight), Qt::AlignCenter, timeLine());
}

} // namespace vantry::station::ui
