#include "station/ui/motion_options_dialog.h"

#include "station/core/camera_channel.h"
#include "station/ui/prompter.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace vantry::station::ui {

namespace {

const QString kLevelRange = QStringLiteral("The motion level threshold should be between 0 and 255.");
const QString kVolumeRange = QStringLiteral("The motion volume threshold should be between 0 and 100.");

QProgressBar* liveBar(QWidget* parent, int maximum)
{
    auto* bar = new QProgressBar(parent);
    bar->setRange(0, maximum);
    bar->setTextVisible(false);
    bar->setFixedHeight(14);
    bar->setStyleSheet("QProgressBar { background: black; border: 1px solid #444; }"
                       "QProgressBar::chunk { background: rgb(0, 200, 0); }");
    return bar;
}

} // namespace

MotionOptionsDialog::MotionOptionsDialog(CameraChannel& channel, Prompter& prompter, QWidget* parent)
    : QDialog(parent)
    , channel_(channel)
    , prompter_(prompter)
{
    setWindowTitle(QStringLiteral("Motion Detection - Camera %1").arg(channel.cameraIndex() + 1));
    const MotionOptions current = channel_.motion().options();
    levelField = new QLineEdit(QString::number(current.levelThreshold), this);
    volumeField = new QLineEdit(QString::number(current.volumeThresholdPercent), this);
    ignoreShort = new QCheckBox("&Ignore short motion (1..60 seconds)", this);
    ignoreShort->setChecked(current.ignoreShortMotion);
    shortLength = new QLineEdit(QString::number(current.shortMotionLengthSeconds), this);
    levelBar = liveBar(this, 255);
    volumeBar = liveBar(this, 10000);
    detectLevel = new QPushButton("De&tect", this);
    detectVolume = new QPushButton("Dete&ct", this);
    levelCountdown = new QLabel(this);
    volumeCountdown = new QLabel(this);
    for (QLineEdit* field : { levelField, volumeField, shortLength })
        field->setMaximumWidth(70);

    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel("Motion &level threshold (0..255):", this), 0, 0);
    grid->addWidget(levelField, 0, 1);
    grid->addWidget(detectLevel, 0, 2);
    grid->addWidget(levelCountdown, 0, 3);
    grid->addWidget(levelBar, 1, 0, 1, 4);
    grid->addWidget(new QLabel("Motion &volume threshold (0..100 %):", this), 2, 0);
    grid->addWidget(volumeField, 2, 1);
    grid->addWidget(detectVolume, 2, 2);
    grid->addWidget(volumeCountdown, 2, 3);
    grid->addWidget(volumeBar, 3, 0, 1, 4);
    grid->addWidget(ignoreShort, 4, 0);
    grid->addWidget(shortLength, 4, 1);
    layout->addLayout(grid);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &MotionOptionsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &MotionOptionsDialog::reject);
    layout->addWidget(buttons);

    connect(levelField, &QLineEdit::editingFinished, this, &MotionOptionsDialog::applyLevelField);
    connect(volumeField, &QLineEdit::editingFinished, this, &MotionOptionsDialog::applyVolumeField);
    connect(detectLevel, &QPushButton::clicked, this, [this] { startDetect(Threshold::Level); });
    connect(detectVolume, &QPushButton::clicked, this, [this] { startDetect(Threshold::Volume); });
    for (Threshold which : { Threshold::Level, Threshold::Volume }) {
        Detect& d = detectOf(which);
        d.timer.setInterval(1000);
        connect(&d.timer, &QTimer::timeout, this, [this, which] { detectTick(which); });
    }

    // The preview slot tries the values without touching live detection.
    MotionMonitor& monitor = channel_.motion();
    previewStarted_ = monitor.startDetection(DetectionSlot::Preview) != 0;
    monitor.detector().setLevelThreshold(DetectionSlot::Preview, current.levelThreshold);
    monitor.detector().setVolumeThreshold(DetectionSlot::Preview, current.volumeThresholdPercent);
    previewTimer_.setInterval(200);
    connect(&previewTimer_, &QTimer::timeout, this, &MotionOptionsDialog::previewTick);
    previewTimer_.start();
}

MotionOptionsDialog::~MotionOptionsDialog()
{
    if (previewStarted_)
        channel_.motion().stopDetection(DetectionSlot::Preview);
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
}

bool MotionOptionsDialog::applyLevelField()
{
    bool ok = false;
    const int level = levelField->text().trimmed().toInt(&ok);
    if (!ok || level < 0 || level > 255) {
        prompter_.inform(this, 0, kLevelRange);
        levelField->setText(QString::number(channel_.motion().detector().levelThreshold(DetectionSlot::Preview)));
        return false;
    }
    channel_.motion().detector().setLevelThreshold(DetectionSlot::Preview, level);
    return true;
}

bool MotionOptionsDialog::applyVolumeField()
{
    bool ok = false;
    const int volume = volumeField->text().trimmed().toInt(&ok);
    if (!ok || volume < 0 || volume > 100) {
        prompter_.inform(this, 0, kVolumeRange);
        volumeField->setText(QString::number(channel_.motion().detector().volumeThresholdPercent(DetectionSlot::Preview)));
        return false;
    }
    channel_.motion().detector().setVolumeThreshold(DetectionSlot::Preview, static_cast<unsigned>(volume));
    return true;
}

Refusal MotionOptionsDialog::check() const
{
    bool ok = false;
    const int level = levelField->text().trimmed().toInt(&ok);
    if (!ok || level < 0 || level > 255)
        return Refusal { 0, kLevelRange, levelField };
    const int volume = volumeField->text().trimmed().toInt(&ok);
    if (!ok || volume < 0 || volume > 100)
        return Refusal { 0, kVolumeRange, volumeField };
    if (ignoreShort->isChecked())
        if (Refusal r = checkRange(shortLength, 1, 60))
            return r;
    return {};
}

MotionOptions MotionOptionsDialog::options() const
{
    MotionOptions options = channel_.motion().options();
    options.levelThreshold = fieldValue(levelField);
    options.volumeThresholdPercent = static_cast<unsigned>(fieldValue(volumeField));
    options.ignoreShortMotion = ignoreShort->isChecked();
    if (options.ignoreShortMotion)
        options.shortMotionLengthSeconds = fieldValue(shortLength);
    return options;
}

void MotionOptionsDialog::accept()
{
    const Refusal refusal = check();
    if (refusal) {
        prompter_.inform(this, refusal.messageId, refusal.text);
        if (refusal.focus)
            refusal.focus->setFocus();
        return;
    }
    channel_.motion().setOptions(options());
    QDialog::accept();
}

void MotionOptionsDialog::previewTick()
{
    if (channel_.motion().tick(DetectionSlot::Preview))
        showBars();
}

void MotionOptionsDialog::showBars()
{
    const MotionDetector& detector = channel_.motion().detector();
    const int largest = detector.largestDifference(DetectionSlot::Preview);
    const ChangedShare share = detector.changedShare(DetectionSlot::Preview);
    levelBar->setValue(std::clamp(largest, 0, 255));
    volumeBar->setValue(std::clamp(share.percent * 100 + share.hundredths, 0, 10000));
    for (Threshold which : { Threshold::Level, Threshold::Volume }) {
        Detect& d = detectOf(which);
        if (d.timer.isActive())
            d.largest = std::max(d.largest, which == Threshold::Level ? largest : share.percent);
    }
}

void MotionOptionsDialog::startDetect(Threshold which)
{
    Detect& d = detectOf(which);
    d.ticks = 0;
    d.largest = 0;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    (which == Threshold::Level ? levelCountdown : volumeCountdown)->setText(QStringLiteral("Remain: %1 secs").arg(kDetectSeconds));
    d.timer.start();
}

void MotionOptionsDialog::detectTick(Threshold which)
{
    Detect& d = detectOf(which);
    QLabel* countdown = which == Threshold::Level ? levelCountdown : volumeCountdown;
    ++d.ticks;
    if (d.ticks < kDetectSeconds) {
        countdown->setText(QStringLiteral("Remain: %1 secs").arg(kDetectSeconds - d.ticks));
        return;
    }
    d.timer.stop();
    countdown->clear();
    QApplication::restoreOverrideCursor();
    if (which == Threshold::Level) {
        levelField->setText(QString::number(d.largest));
        applyLevelField();
    } else {
        volumeField->setText(QString::number(d.largest));
        applyVolumeField();
    }
}

} // namespace vantry::station::ui
