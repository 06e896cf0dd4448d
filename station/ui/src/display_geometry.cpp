#include "station/ui/display_geometry.h"

#include <algorithm>

namespace vantry::station::ui::geometry {

QSize displaySize(const QSize& capture)
{
    const int w = capture.width();
    const int h = capture.height();
    if ((w == 640 && h == 480) || (w == 320 && h == 240) || (w == 256 && h == 240))
        return { 320, 240 };
    if ((w == 704 && h == 576) || (w == 352 && h == 288))
        return { 352, 288 };
    if ((w == 720 && h == 576) || (w == 360 && h == 288))
        return { 360, 288 };
    if ((w == 720 && h == 480) || (w == 360 && h == 240))
        return { 360, 240 };
    return w <= 360 ? capture : QSize(w / 2, h / 2);
}

int captionHeight(bool caption, int textHeight, int iconHeight)
{
    return caption ? std::max(textHeight + 4, iconHeight + 4) : 0;
}

QSize cellSize(const std::array<std::optional<QSize>, 4>& captureSizes, const QSize& defaultCell)
{
    QSize cell;
    for (const auto& capture : captureSizes) {
        if (!capture)
            continue;
        const QSize shown = displaySize(*capture);
        // The largest by area: a camera shown wider but lower must not be cut.
        cell = cell.isEmpty() ? shown : cell.expandedTo(shown);
    }
    return cell.isEmpty() ? defaultCell : cell;
}

QSize splitScreenSize(int layoutMode, const std::array<std::optional<QSize>, 4>& captureSizes,
                      const QSize& defaultCell, int caption)
{
    if (layoutMode >= 0 && layoutMode < 4) {
        const auto& capture = captureSizes[static_cast<size_t>(layoutMode)];
        const QSize shown = capture ? displaySize(*capture) : defaultCell;
        return { 2 * shown.width() + 6, caption + 2 * shown.height() + 6 };
    }
    const QSize cell = cellSize(captureSizes, defaultCell);
    return { 2 * cell.width() + 8, 2 * (cell.height() + caption) + 8 };
}

} // namespace vantry::station::ui::geometry
