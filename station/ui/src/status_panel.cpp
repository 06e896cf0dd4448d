#include "station/ui/status_panel.h"

#include <QPainter>

namespace vantry::station::ui {

StatusPanel::StatusPanel(const Skin& skin, QWidget* parent)
    : QWidget(parent)
    , skin_(skin)
{
    const QSize size = skin_.statusBackground.isNull() ? QSize(216, 150) : skin_.statusBackground.size();
    setFixedSize(size);
}

QRect StatusPanel::lightRect(int cameraIndex, int kind) const
{
    const QImage& picture = skin_.lights[0];
    const QSize size = picture.isNull() ? QSize(14, 14) : picture.size();
    return QRect(skin_.lightPositions[cameraIndex][kind], size);
}

void StatusPanel::setLight(int kind, int state, int cameraIndex)
{
    if (kind < 0 || kind > 3 || cameraIndex < 0 || cameraIndex > 3 || state < 0 || state >= kStateCount)
        return;
    if (states_[cameraIndex][kind] == state)
        return;
    states_[cameraIndex][kind] = state;
    update(lightRect(cameraIndex, kind));
    emit lightChanged(cameraIndex, kind, state);
}

int StatusPanel::light(int kind, int cameraIndex) const
{
    if (kind < 0 || kind > 3 || cameraIndex < 0 || cameraIndex > 3)
        return 0;
    return states_[cameraIndex][kind];
}

void StatusPanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (!skin_.statusBackground.isNull())
        painter.drawImage(QPoint(0, 0), skin_.statusBackground);
    else
        painter.fillRect(rect(), QColor(24, 28, 35));
    for (int camera = 0; camera < 4; ++camera)
        for (int kind = 0; kind < 4; ++kind) {
            const QImage& picture = skin_.lights[states_[camera][kind]];
            if (!picture.isNull())
                painter.drawImage(lightRect(camera, kind).topLeft(), picture);
        }
}

} // namespace vantry::station::ui
