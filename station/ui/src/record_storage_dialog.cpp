#include "station/ui/record_storage_dialog.h"

#include "common/record_index.h"
#include "station/ui/prompter.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <sys/statvfs.h>

#include <climits>

namespace vantry::station::ui {

QString StorageFigures::periodText() const
{
    if (earliestStart <= 0 || latestEnd <= earliestStart)
        return {};
    const auto text = [](int64_t t) { return QDateTime::fromSecsSinceEpoch(t).toString("yyyy/MM/dd HH:mm:ss"); };
    return text(earliestStart) + " - " + text(latestEnd);
}

int64_t StorageFigures::dailyAverageMB() const
{
    const int64_t period = latestEnd - earliestStart;
    return period > 0 ? recordsMB * 86400 / period : 0;
}

StorageFigures StorageFigures::measure(const QString& folder)
{
    StorageFigures figures;
    struct statvfs fs {};
    if (!folder.isEmpty() && ::statvfs(folder.toLocal8Bit().constData(), &fs) == 0) {
        figures.driveMB = static_cast<int64_t>(fs.f_blocks) * static_cast<int64_t>(fs.f_frsize) / 1048576;
        figures.freeMB = static_cast<int64_t>(fs.f_bavail) * static_cast<int64_t>(fs.f_frsize) / 1048576;
    }
    // Read the saved index only: a dialog must not rebuild or rewrite a camera's index.
    common::RecordIndex index;
    index.SetStorageFolder(folder.toStdString());
    if (!folder.isEmpty() && index.Load()) {
        figures.recordsMB = static_cast<int64_t>(index.TotalBytes() / 1048576);
        figures.earliestStart = index.EarliestStart();
        figures.latestEnd = index.LatestEnd();
    }
    return figures;
}

RecordStorageDialog::RecordStorageDialog(const common::ChannelSettings& s, Prompter& prompter, QWidget* parent)
    : QDialog(parent)
    , prompter_(prompter)
{
    setWindowTitle("Record Storage");
    storagePath = new QLineEdit(QString::fromStdString(s.storagePath), this);
    storagePath->setMaxLength(256);
    storagePath->setMinimumWidth(320);
    browse = new QPushButton("...", this);
    recycle = new QCheckBox("Rec&ycle storage space for storing new recordings", this);
    recycle->setChecked(s.recycleEnabled != 0);
    fileLength = new QLineEdit(QString::number(s.fileLengthMinutes), this);
    minFreeSpace = new QLineEdit(QString::number(s.minFreeSpaceMB), this);
    maxStorageEnabled = new QCheckBox("M&aximum record storage space (M bytes):", this);
    maxStorageEnabled->setChecked(s.maxStorageEnabled != 0);
    maxStorage = new QLineEdit(QString::number(s.maxStorageMB), this);
    driveSize = new QLabel(this);
    driveFree = new QLabel(this);
    recordsSize = new QLabel(this);
    recordedPeriod = new QLabel(this);
    dailyAverageLabel = new QLabel("Average record size per day:", this);
    dailyAverage = new QLabel(this);

    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(storagePath);
    pathRow->addWidget(browse);
    form->addRow("Record storage &path:", pathRow);
    form->addRow(recycle);
    form->addRow("&Record file length (3..60 minutes):", fileLength);
    form->addRow("&Minimum disk free space (300..256000 M bytes):", minFreeSpace);
    form->addRow(maxStorageEnabled, maxStorage);
    form->addRow("Drive size:", driveSize);
    form->addRow("Drive free space:", driveFree);
    form->addRow("Total record size:", recordsSize);
    form->addRow("Recorded period:", recordedPeriod);
    form->addRow(dailyAverageLabel, dailyAverage);
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &RecordStorageDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &RecordStorageDialog::reject);
    layout->addWidget(buttons);

    connect(browse, &QPushButton::clicked, this, [this] {
        const QString folder = QFileDialog::getExistingDirectory(this, "Record storage", storagePath->text());
        if (!folder.isEmpty())
            storagePath->setText(folder);
    });
    connect(storagePath, &QLineEdit::editingFinished, this,
            [this] { showFigures(StorageFigures::measure(storagePath->text())); });
    connect(maxStorageEnabled, &QCheckBox::toggled, maxStorage, &QLineEdit::setEnabled);
    maxStorage->setEnabled(maxStorageEnabled->isChecked());
    showFigures(StorageFigures::measure(storagePath->text()));
}

void RecordStorageDialog::showFigures(const StorageFigures& f)
{
    driveSize->setText(QStringLiteral("%1 MB").arg(f.driveMB));
    driveFree->setText(QStringLiteral("%1 MB").arg(f.freeMB));
    recordsSize->setText(QStringLiteral("%1 MB").arg(f.recordsMB));
    recordedPeriod->setText(f.periodText());
    // Less than a day of records says nothing about a day.
    dailyAverageLabel->setText(f.hasDailyAverage() ? "Average record size per day:" : QString());
    dailyAverage->setText(f.hasDailyAverage() ? QStringLiteral("%1 MB").arg(f.dailyAverageMB()) : QString());
}

Refusal RecordStorageDialog::check() const
{
    if (Refusal r = checkRange(fileLength, 3, 60))
        return r;
    if (Refusal r = checkRange(minFreeSpace, 300, 256000))
        return r;
    if (maxStorageEnabled->isChecked())
        if (Refusal r = checkRange(maxStorage, 301, INT_MAX))
            return r;
    return {};
}

void RecordStorageDialog::store(common::ChannelSettings& s) const
{
    s.storagePath = storagePath->text().toStdString();
    s.recycleEnabled = recycle->isChecked() ? 1 : 0;
    s.fileLengthMinutes = fieldValue(fileLength);
    s.minFreeSpaceMB = fieldValue(minFreeSpace);
    s.maxStorageEnabled = maxStorageEnabled->isChecked() ? 1 : 0;
    if (s.maxStorageEnabled != 0)
        s.maxStorageMB = fieldValue(maxStorage);
}

void RecordStorageDialog::accept()
{
    const Refusal refusal = check();
    if (refusal) {
        prompter_.inform(this, refusal.messageId, refusal.text);
        if (refusal.focus)
            refusal.focus->setFocus();
        return;
    }
    QDialog::accept();
}

} // namespace vantry::station::ui
