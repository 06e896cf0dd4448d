#include "viewer_ui/snapshot_dialog.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFontDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace vantry::viewer_ui {

namespace {

QColor fromColourRef(int32_t value)
{
    const auto v = static_cast<uint32_t>(value);
    return QColor(v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF);
}

QFont toFont(const common::SnapFontSettings& s)
{
    QFont font(QString::fromStdString(s.faceName));
    font.setPixelSize(std::max(8, std::abs(s.height)));
    font.setBold(s.weight >= 600);
    font.setItalic(s.italic != 0);
    font.setUnderline(s.underline != 0);
    font.setStrikeOut(s.strikeOut != 0);
    return font;
}

} // namespace

SnapshotDialog::SnapshotDialog(const QImage& picture, uint32_t captureTime, int cameraNumber,
                               common::SnapFontSettings& font, QWidget* parent)
    : QDialog(parent)
    , picture_(picture)
    , captureTime_(QDateTime::fromSecsSinceEpoch(captureTime))
    , cameraNumber_(cameraNumber)
    , font_(font)
{
    setWindowTitle("Snapshot");
    auto* layout = new QVBoxLayout(this);
    view_ = new QLabel(this);
    view_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    // A 256-wide picture is shown as 320 x 240, like the live view.
    const QSize shown = picture_.width() == 256 && picture_.height() == 240 ? QSize(320, 240) : picture_.size();
    view_->setFixedSize(shown);
    view_->setScaledContents(true);
    layout->addWidget(view_);
    auto* row = new QHBoxLayout;
    caption_ = new QCheckBox("&Caption", this);
    caption_->setChecked(true);
    connect(caption_, &QCheckBox::toggled, this, &SnapshotDialog::refresh);
    row->addWidget(caption_);
    auto* fontButton = new QPushButton("&Font...", this);
    connect(fontButton, &QPushButton::clicked, this, &SnapshotDialog::chooseFont);
    row->addWidget(fontButton);
    row->addStretch();
    auto* saveButton = new QPushButton("&Save...", this);
    connect(saveButton, &QPushButton::clicked, this, &SnapshotDialog::save);
    row->addWidget(saveButton);
    auto* close = new QPushButton("Close", this);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    row->addWidget(close);
    layout->addLayout(row);
    refresh();
}

QImage SnapshotDialog::composed() const
{
    QImage image = picture_.convertToFormat(QImage::Format_RGB888);
    if (caption_->isChecked()) {
        QPainter painter(&image);
        painter.setFont(toFont(font_));
        painter.setPen(fromColourRef(font_.color));
        painter.drawText(image.rect().adjusted(4, 2, -4, -2), Qt::AlignLeft | Qt::AlignTop,
                         captureTime_.toString("yyyy/MM/dd HH:mm:ss"));
    }
    return image;
}

void SnapshotDialog::refresh() { view_->setPixmap(QPixmap::fromImage(composed())); }

void SnapshotDialog::chooseFont()
{
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, toFont(font_), this);
    if (!ok)
        return;
    font_.faceName = chosen.family().toStdString();
    font_.height = chosen.pixelSize() > 0 ? chosen.pixelSize() : chosen.pointSize();
    font_.weight = chosen.bold() ? 700 : 400;
    font_.italic = chosen.italic() ? 1 : 0;
    font_.underline = chosen.underline() ? 1 : 0;
    font_.strikeOut = chosen.strikeOut() ? 1 : 0;
    refresh();
}

QString SnapshotDialog::defaultFileName() const
{
    return QString("C%1-%2.bmp").arg(cameraNumber_).arg(captureTime_.toString("yyyyMMdd-HHmmss"));
}

bool SnapshotDialog::saveTo(const QString& path) const
{
    const bool jpeg = path.endsWith(".jpg", Qt::CaseInsensitive) || path.endsWith(".jpeg", Qt::CaseInsensitive);
    return composed().save(path, jpeg ? "JPG" : "BMP", jpeg ? 80 : -1);
}

void SnapshotDialog::save()
{
    const QString path = QFileDialog::getSaveFileName(this, "Save", defaultFileName(),
                                                      "Bitmap File (*.bmp);;JPEG Files (*.jpg)");
    if (!path.isEmpty())
        saveTo(path);
}

} // namespace vantry::viewer_ui
