#include "station/ui/camera_options_sheet.h"

#include "station/ui/camera_options_page.h"

#include <QDialogButtonBox>
#include <QTabWidget>
#include <QVBoxLayout>

namespace vantry::station::ui {

CameraOptionsSheet::CameraOptionsSheet(QWidget* parent)
    : QDialog(parent)
    , tabs_(new QTabWidget(this))
{
    setWindowTitle("Camera Options");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CameraOptionsSheet::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CameraOptionsSheet::reject);
    layout->addWidget(buttons);
}

void CameraOptionsSheet::addPage(CameraOptionsPage* page)
{
    pages_.push_back(page);
    tabs_->addTab(page, QStringLiteral("Camera %1").arg(page->cameraIndex() + 1));
}

void CameraOptionsSheet::showCamera(int cameraIndex)
{
    for (size_t i = 0; i < pages_.size(); ++i)
        if (pages_[i]->cameraIndex() == cameraIndex)
            tabs_->setCurrentIndex(static_cast<int>(i));
}

} // namespace vantry::station::ui
