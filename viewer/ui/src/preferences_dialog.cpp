#include "viewer_ui/preferences_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace vantry::viewer_ui {

namespace {

QWidget* withBrowse(QWidget* parent, QLineEdit* edit, const std::function<void()>& browse)
{
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(edit);
    auto* button = new QPushButton("...", row);
    button->setFixedWidth(32);
    QObject::connect(button, &QPushButton::clicked, row, browse);
    layout->addWidget(button);
    return row;
}

} // namespace

PreferencesDialog::PreferencesDialog(const viewer::ViewerSettings& settings, QWidget* parent)
    : QDialog(parent)
    , settings_(settings)
{
    setWindowTitle("Preferences");
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;

    storage_ = new QLineEdit(QString::fromStdString(settings.storagePath), this);
    storage_->setMaxLength(256);
    form->addRow("&Storage folder:", withBrowse(this, storage_, [this] {
        const QString folder = QFileDialog::getExistingDirectory(this, "Select a folder", storage_->text());
        if (!folder.isEmpty())
            storage_->setText(folder);
    }));
    minFree_ = new QSpinBox(this);
    minFree_->setRange(300, 256000);
    minFree_->setSuffix(" MB");
    minFree_->setValue(settings.minFreeSpaceMb);
    form->addRow("&Minimum free space:", minFree_);
    fileLength_ = new QSpinBox(this);
    fileLength_->setRange(5, 60);
    fileLength_->setSuffix(" min");
    fileLength_->setValue(settings.fileLengthMinutes);
    form->addRow("Record &file length:", fileLength_);
    timeout_ = new QSpinBox(this);
    timeout_->setRange(1, 300);
    timeout_->setSuffix(" s");
    timeout_->setValue(settings.timeoutSeconds);
    form->addRow("Connect &timeout:", timeout_);
    recordType_ = new QComboBox(this);
    recordType_->addItems({ "Round-the-clock recording", "Event recording" });
    recordType_->setCurrentIndex(static_cast<int>(settings.recordType));
    form->addRow("&Record type:", recordType_);
    alarm_ = new QCheckBox("Sound the &alarm on events", this);
    alarm_->setChecked(settings.alarm != 0);
    form->addRow(alarm_);
    alarmFile_ = new QLineEdit(QString::fromStdString(settings.alarmFile), this);
    alarmFile_->setMaxLength(256);
    form->addRow("Alarm so&und:", withBrowse(this, alarmFile_, [this] {
        const QString file = QFileDialog::getOpenFileName(this, "Alarm sound", alarmFile_->text(), "Sound files (*.wav)");
        if (!file.isEmpty())
            alarmFile_->setText(file);
    }));
    recycle_ = new QCheckBox("Re&cycle old records", this);
    recycle_->setChecked(settings.recycle != 0);
    form->addRow(recycle_);
    showUp_ = new QCheckBox("Bring the window to the front on &events", this);
    showUp_->setChecked(settings.showUp != 0);
    form->addRow(showUp_);
    layout->addLayout(form);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

viewer::ViewerSettings PreferencesDialog::result() const
{
    viewer::ViewerSettings s = settings_;
    s.storagePath = storage_->text().trimmed().toStdString();
    if (s.storagePath.empty())
        s.storagePath = settings_.storagePath;
    s.minFreeSpaceMb = minFree_->value();
    s.fileLengthMinutes = fileLength_->value();
    s.timeoutSeconds = timeout_->value();
    s.recordType = recordType_->currentIndex() == 1 ? viewer::RecordType::Event : viewer::RecordType::RoundTheClock;
    s.alarm = alarm_->isChecked() ? 1 : 0;
    s.alarmFile = alarmFile_->text().toStdString();
    s.recycle = recycle_->isChecked() ? 1 : 0;
    s.showUp = showUp_->isChecked() ? 1 : 0;
    return s;
}

} // namespace vantry::viewer_ui
