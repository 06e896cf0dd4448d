// The viewer's skin: pictures of the folder "ui_r" beside the executable, looked up by their
// relative names. A missing picture is a null pixmap, and every user draws something sensible
// without it.
#pragma once

#include <QPixmap>
#include <QString>

namespace vantry::viewer_ui {

class Skin {
public:
    explicit Skin(const QString& programFolder);
    QPixmap picture(const QString& relativePath) const;
    QString folder() const { return folder_; }
    QString programFolder() const { return programFolder_; }

private:
    QString programFolder_;
    QString folder_;
};

} // namespace vantry::viewer_ui
