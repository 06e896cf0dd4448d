#include "station/ui/camera_options_page.h"

#include "station/core/hub_messages.h"
#include "station/core/video_format.h"
#include "station/ui/compression_dialog.h"
#include "station/ui/record_storage_dialog.h"
#include "station/ui/schedule_dialog.h"
#include "station/ui/ui_texts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vantry::station::ui {

CameraOptionsPage::CameraOptionsPage(int cameraIndex, const common::ChannelSettings& channel,
                                     const common::CaptureSettings& capture, const std::vector<PictureSize>& sizes,
                                     bool hasAudioDevice, const UiTexts& texts, Prompter& prompter,
                                     std::function<void(uint32_t)> cameraCommand, QWidget* parent)
    : QWidget(parent)
    , cameraIndex_(cameraIndex)
    , channel_(channel)
    , capture_(capture)
    , hasAudioDevice_(hasAudioDevice)
    , prompter_(prompter)
{
    cameraName = new QLineEdit(QString::fromStdString(channel.cameraName), this);
    cameraName->setMaxLength(64);
    videoDimension = new QComboBox(this);
    for (const PictureSize& size : sizes) {
        videoDimension->addItem(QStringLiteral("%1x%2").arg(size.width).arg(size.height), QSize(size.width, size.height));
        if (size.width == channel.frameWidth && size.height == channel.frameHeight)
            videoDimension->setCurrentIndex(videoDimension->count() - 1);
    }
    if (videoDimension->findData(QSize(channel.frameWidth, channel.frameHeight)) < 0) {
        videoDimension->insertItem(0, QStringLiteral("%1x%2").arg(channel.frameWidth).arg(channel.frameHeight),
                                   QSize(channel.frameWidth, channel.frameHeight));
        videoDimension->setCurrentIndex(0);
    }
    recordingType = new QComboBox(this);
    for (const char* name : { "IDS_STRING_NORMAL_RECORD", "IDS_STRING_EVENT_RECORD", "IDS_STRING_SCHEDULE_NORMAL_RECORD",
                              "IDS_STRING_SCHEDULE_EVENT_RECORD" })
        recordingType->addItem(texts.named(name));
    recordingType->setCurrentIndex(std::clamp(channel.recordingType, 0, 3));
    recordingEnabled = new QCheckBox("Video &recording", this);
    recordingEnabled->setChecked(channel.recordingEnabled != 0);
    motionDetection = new QCheckBox("Apply &motion detection", this);
    motionDetection->setChecked(channel.motionDetectionEnabled != 0);
    eventNotification = new QCheckBox("&Event notification", this);
    eventNotification->setChecked(channel.eventNotificationEnabled != 0);
    displayLiveVideo = new QCheckBox("&Display live video", this);
    displayLiveVideo->setChecked(channel.displayLiveVideo != 0);
    manualTrigger = new QCheckBox("Man&ual trigger (for pressing the Enter key to generate a 5-second event)", this);
    manualTrigger->setChecked(channel.manualTriggerEnabled != 0);
    compression = new QPushButton("&Compression...", this);
    storage = new QPushButton("Record s&torage...", this);
    schedule = new QPushButton("Sc&hedule...", this);
    detectionOptions = new QPushButton("Detection &options...", this);
    mask = new QPushButton("Detection m&ask...", this);

    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    form->addRow("Camera &name:", cameraName);
    form->addRow("&Video dimension:", videoDimension);
    form->addRow("Recording &type:", recordingType);
    layout->addLayout(form);
    for (QCheckBox* box : { recordingEnabled, motionDetection, eventNotification, displayLiveVideo, manualTrigger })
        layout->addWidget(box);
    auto* buttons = new QGridLayout;
    buttons->addWidget(compression, 0, 0);
    buttons->addWidget(storage, 0, 1);
    buttons->addWidget(schedule, 0, 2);
    buttons->addWidget(detectionOptions, 1, 0);
    buttons->addWidget(mask, 1, 1);
    layout->addLayout(buttons);
    layout->addStretch();

    connect(compression, &QPushButton::clicked, this, &CameraOptionsPage::editCompression);
    connect(storage, &QPushButton::clicked, this, &CameraOptionsPage::editStorage);
    connect(schedule, &QPushButton::clicked, this, &CameraOptionsPage::editSchedule);
    connect(detectionOptions, &QPushButton::clicked, this, [cameraCommand] { cameraCommand(cmd::kDetectionOptions); });
    connect(mask, &QPushButton::clicked, this, [cameraCommand] { cameraCommand(cmd::kMaskOptions); });
}

PictureSize CameraOptionsPage::storedSize(const PictureSize& chosen)
{
    if (chosen.width < kMinCaptureWidth || chosen.width > kMaxCaptureWidth)
        return PictureSize { 352, 288 };
    return chosen;
}

common::ChannelSettings CameraOptionsPage::channelSettings() const
{
    common::ChannelSettings s = channel_;
    s.cameraName = cameraName->text().toStdString();
    if (s.cameraName.empty())
        s.cameraName = "Camera " + std::to_string(cameraIndex_ + 1);
    const QSize chosen = videoDimension->currentData().toSize();
    const PictureSize size = storedSize(PictureSize { chosen.width(), chosen.height() });
    s.frameWidth = size.width;
    s.frameHeight = size.height;
    s.recordingType = recordingType->currentIndex();
    s.recordingEnabled = recordingEnabled->isChecked() ? 1 : 0;
    s.motionDetectionEnabled = motionDetection->isChecked() ? 1 : 0;
    s.eventNotificationEnabled = eventNotification->isChecked() ? 1 : 0;
    s.displayLiveVideo = displayLiveVideo->isChecked() ? 1 : 0;
    s.manualTriggerEnabled = manualTrigger->isChecked() ? 1 : 0;
    return s;
}

void CameraOptionsPage::editCompression()
{
    CompressionDialog dialog(capture_, channel_.recordAudio != 0, hasAudioDevice_, this);
    if (dialog.exec() == QDialog::Accepted)
        dialog.store(capture_, channel_.recordAudio);
}

void CameraOptionsPage::editStorage()
{
    RecordStorageDialog dialog(channel_, prompter_, this);
    if (dialog.exec() == QDialog::Accepted)
        dialog.store(channel_);
}

void CameraOptionsPage::editSchedule()
{
    std::array<uint32_t, 7> words {};
    for (int day = 0; day < 7; ++day)
        words[static_cast<size_t>(day)] = channel_.scheduleWord(day);
    ScheduleDialog dialog(words, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const auto chosen = dialog.words();
    for (int day = 0; day < 7; ++day)
        channel_.setScheduleWord(day, chosen[static_cast<size_t>(day)]);
}

} // namespace vantry::station::ui
