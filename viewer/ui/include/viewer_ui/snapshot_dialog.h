// "Snapshot": the frozen picture with its capture time as a caption, saved as BMP or JPEG.
#pragma once

#include "common/service_settings.h"

#include <QDateTime>
#include <QDialog>
#include <QImage>

class QCheckBox;
class QLabel;

namespace vantry::viewer_ui {

class SnapshotDialog : public QDialog {
    Q_OBJECT

public:
    SnapshotDialog(const QImage& picture, uint32_t captureTime, int cameraNumber, common::SnapFontSettings& font,
                   QWidget* parent = nullptr);
    // The picture as it would be saved (with the caption when ticked).
    QImage composed() const;
    // Saves to path; BMP or JPEG (quality 80) by the file name's ending.
    bool saveTo(const QString& path) const;
    // "C<camera>-<yyyyMMdd-hhmmss>.bmp"
    QString defaultFileName() const;

private:
    void refresh();
    void chooseFont();
    void save();

    QImage picture_;
    QDateTime captureTime_;
    int cameraNumber_ = 1;
    common::SnapFontSettings& font_;
    QCheckBox* caption_ = nullptr;
    QLabel* view_ = nullptr;
};

} // namespace vantry::viewer_ui
