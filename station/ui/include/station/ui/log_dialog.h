#pragma once

#include "common/event_log.h"
#include "station/ui/dialog_checks.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace vantry::station::ui {

class Prompter;

// "Log": the operation and event log, filtered by type, with the ring's size and what it
// counts. The switches take effect when the dialog is closed; a new size rebuilds the file.
class LogDialog final : public QDialog {
    Q_OBJECT
public:
    LogDialog(common::EventLog& log, Prompter& prompter, QWidget* parent = nullptr);

    // Empties the list and fills it with a new read pass for the chosen type.
    void fill();
    Refusal check() const;
    // Adopts the switches and, when the number changed, resizes the log; false when the
    // resize failed (the old size stays).
    bool apply();
    void accept() override;

    QComboBox* typeList;
    QTreeWidget* list;
    QLineEdit* numberOfLogs;
    QCheckBox* logMotionEvents;
    QCheckBox* logRemoteConnections;
    QPushButton* currentConnections;
    QPushButton* closeButton;

signals:
    void connectionsRequested();

private:
    common::EventLog& log_;
    Prompter& prompter_;
};

} // namespace vantry::station::ui
