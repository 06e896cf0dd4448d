#pragma once

#include "common/station_settings.h"
#include "station/ui/dialog_checks.h"

#include <QDialog>

#include <cstdint>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vantry::station::ui {

class Prompter;

// What the dialog shows about a storage folder: the drive and the camera's records.
struct StorageFigures {
    int64_t driveMB = 0;
    int64_t freeMB = 0;
    int64_t recordsMB = 0;
    int64_t earliestStart = 0; // seconds since 1970; 0 when there are no records
    int64_t latestEnd = 0;
    // "%Y/%m/%d %H:%M:%S - %Y/%m/%d %H:%M:%S", empty without records.
    QString periodText() const;
    // MB per day, when the records span at least a day.
    bool hasDailyAverage() const { return earliestStart > 0 && latestEnd - earliestStart >= 86400; }
    int64_t dailyAverageMB() const;
    static StorageFigures measure(const QString& folder);
};

// "Record Storage": where a camera records, how long its files are, and when old records
// are recycled.
class RecordStorageDialog final : public QDialog {
    Q_OBJECT
public:
    RecordStorageDialog(const common::ChannelSettings& settings, Prompter& prompter, QWidget* parent = nullptr);

    Refusal check() const;
    void store(common::ChannelSettings& settings) const;
    void accept() override;
    void showFigures(const StorageFigures& figures);

    QLineEdit* storagePath;
    QPushButton* browse;
    QCheckBox* recycle;
    QLineEdit* fileLength;
    QLineEdit* minFreeSpace;
    QCheckBox* maxStorageEnabled;
    QLineEdit* maxStorage;
    QLabel* driveSize;
    QLabel* driveFree;
    QLabel* recordsSize;
    QLabel* recordedPeriod;
    QLabel* dailyAverageLabel;
    QLabel* dailyAverage;

private:
    Prompter& prompter_;
};

} // namespace vantry::station::ui
