#include "viewer_ui/skin.h"

namespace vantry::viewer_ui {

Skin::Skin(const QString& programFolder)
    : programFolder_(programFolder)
    , folder_(programFolder + "/ui_r")
{
}

QPixmap Skin::picture(const QString& relativePath) const
{
    QPixmap pixmap;
    pixmap.load(folder_ + "/" + relativePath);
    return pixmap;
}

} // namespace vantry::viewer_ui
