#include "viewer_ui/connect_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

namespace vantry::viewer_ui {

ConnectDialog::ConnectDialog(const viewer::ViewerSettings& settings, QWidget* parent)
    : QDialog(parent)
    , settings_(settings)
{
    setWindowTitle("Connect");
    auto* layout = new QVBoxLayout(this);

    auto* modeRow = new QHBoxLayout;
    byAddress_ = new QRadioButton("By I&P address", this);
    byId_ = new QRadioButton("By I&D", this);
    auto* modes = new QButtonGroup(this);
    modes->addButton(byAddress_);
    modes->addButton(byId_);
    modeRow->addWidget(byAddress_);
    modeRow->addWidget(byId_);
    modeRow->addStretch();
    layout->addLayout(modeRow);

    auto* form = new QGridLayout;
    addressLabel_ = new QLabel("&IP address:", this);
    address_ = new QLineEdit(QString::fromStdString(settings.ip), this);
    address_->setMaxLength(256);
    addressLabel_->setBuddy(address_);
    portLabel_ = new QLabel("&TCP port:", this);
    port_ = new QSpinBox(this);
    port_->setRange(0, 65535);
    port_->setValue(settings.port);
    portLabel_->setBuddy(port_);
    idLabel_ = new QLabel("&ID:", this);
    id_ = new QLineEdit(QString::fromStdString(settings.connectionId), this);
    id_->setMaxLength(255);
    idLabel_->setBuddy(id_);
    auto* cameraLabel = new QLabel("Camera:", this);
    camera_ = new QComboBox(this);
    for (int i = 1; i <= 4; ++i)
        camera_->addItem(QString("Camera %1").arg(i));
    camera_->setCurrentIndex(settings.cameraIndex);
    form->addWidget(addressLabel_, 0, 0);
    form->addWidget(address_, 0, 1);
    form->addWidget(portLabel_, 1, 0);
    form->addWidget(port_, 1, 1);
    form->addWidget(idLabel_, 2, 0);
    form->addWidget(id_, 2, 1);
    form->addWidget(cameraLabel, 3, 0);
    form->addWidget(camera_, 3, 1);
    layout->addLayout(form);

    auto* historyLabel = new QLabel("&Quick list:", this);
    history_ = new QListWidget(this);
    historyLabel->setBuddy(history_);
    for (auto it = settings.history.rbegin(); it != settings.history.rend(); ++it)
        history_->addItem(QString::fromStdString(*it));
    history_->setMaximumHeight(110);
    connect(history_, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) { chooseHistoryEntry(item->text()); });
    layout->addWidget(historyLabel);
    layout->addWidget(history_);

    save_ = new QCheckBox("&Save to quick list", this);
    save_->setChecked(true);
    layout->addWidget(save_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* advanced = buttons->addButton("&Advanced...", QDialogButtonBox::ActionRole);
    connect(advanced, &QPushButton::clicked, this, &ConnectDialog::openAdvanced);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    (settings.byIpAddress ? byAddress_ : byId_)->setChecked(true);
    connect(byAddress_, &QRadioButton::toggled, this, &ConnectDialog::updateMode);
    updateMode();
}

void ConnectDialog::updateMode()
{
    const bool address = byAddress_->isChecked();
    for (QWidget* widget : { static_cast<QWidget*>(addressLabel_), static_cast<QWidget*>(address_),
                             static_cast<QWidget*>(portLabel_), static_cast<QWidget*>(port_) })
        widget->setVisible(address);
    idLabel_->setVisible(!address);
    id_->setVisible(!address);
}

void ConnectDialog::chooseHistoryEntry(const QString& entry)
{
    const int colon = entry.lastIndexOf(':');
    if (colon >= 0) {
        byAddress_->setChecked(true);
        address_->setText(entry.left(colon));
        port_->setValue(entry.mid(colon + 1).toInt());
    } else {
        byId_->setChecked(true);
        id_->setText(entry);
    }
    updateMode();
}

void ConnectDialog::openAdvanced()
{
    AdvancedDialog dialog(settings_.quality, settings_.halfSize, settings_.frameRate, this);
    if (dialog.exec() == QDialog::Accepted) {
        settings_.quality = dialog.quality();
        settings_.halfSize = dialog.halfSize();
        settings_.frameRate = dialog.frameRate();
    }
}

viewer::ViewerSettings ConnectDialog::result() const
{
    viewer::ViewerSettings s = settings_;
    s.byIpAddress = byAddress_->isChecked() ? 1 : 0;
    s.ip = address_->text().trimmed().toStdString();
    s.port = port_->value();
    s.connectionId = id_->text().toStdString();
    s.cameraIndex = camera_->currentIndex();
    return s;
}

bool ConnectDialog::saveToQuickList() const { return save_->isChecked(); }

QString ConnectDialog::historyEntry() const
{
    if (byAddress_->isChecked())
        return address_->text().trimmed() + ":" + QString::number(port_->value());
    return id_->text();
}

AdvancedDialog::AdvancedDialog(int quality, int halfSize, int frameRate, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle("Advanced Settings");
    auto* layout = new QVBoxLayout(this);
    auto* qualityLabel = new QLabel("Video &quality :", this);
    slider_ = new QSlider(Qt::Horizontal, this);
    slider_->setRange(1, 12);
    slider_->setValue(13 - quality);
    qualityLabel->setBuddy(slider_);
    layout->addWidget(qualityLabel);
    layout->addWidget(slider_);
    auto* marks = new QHBoxLayout;
    marks->addWidget(new QLabel("Normal", this));
    marks->addStretch();
    marks->addWidget(new QLabel("Good", this));
    marks->addStretch();
    marks->addWidget(new QLabel("Best", this));
    layout->addLayout(marks);

    auto* sizeLabel = new QLabel("&Video size:", this);
    size_ = new QComboBox(this);
    size_->addItems({ "Full video size", "Half video size" });
    size_->setCurrentIndex(halfSize ? 1 : 0);
    sizeLabel->setBuddy(size_);
    layout->addWidget(sizeLabel);
    layout->addWidget(size_);
    auto* note = new QLabel("The half video size is effective when the remote video size is larger than or equal to 640x480.", this);
    note->setWordWrap(true);
    layout->addWidget(note);

    auto* rateLabel = new QLabel("&Frame rate:", this);
    rate_ = new QComboBox(this);
    for (int rate : viewer::kFrameRates)
        rate_->addItem(QString("%1 fps").arg(rate), rate);
    rate_->setCurrentIndex(std::max(0, rate_->findData(viewer::nearestFrameRate(frameRate))));
    rateLabel->setBuddy(rate_);
    layout->addWidget(rateLabel);
    layout->addWidget(rate_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

int AdvancedDialog::quality() const { return 13 - slider_->value(); }
int AdvancedDialog::halfSize() const { return size_->currentIndex(); }
int AdvancedDialog::frameRate() const { return rate_->currentData().toInt(); }
void AdvancedDialog::setSliderPosition(int position) { slider_->setValue(position); }

} // namespace vantry::viewer_ui
