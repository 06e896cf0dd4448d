#pragma once

#include "common/station_settings.h"
#include "station/ui/dialog_checks.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace vantry::station::ui {

class Prompter;

// "Preferences": site name, password protection, loop and pause lengths (shown in seconds,
// stored in milliseconds), daily restart, IP change notice and the display switches.
class PreferencesDialog final : public QDialog {
    Q_OBJECT
public:
    PreferencesDialog(const common::StationSettings& settings, Prompter& prompter, QWidget* parent = nullptr);

    Refusal check() const;
    // Writes the dialog's values into settings (only the fields this dialog owns).
    void store(common::StationSettings& settings) const;
    void accept() override;

    QLineEdit* siteName;
    QCheckBox* passwordProtection;
    QLineEdit* password;
    QLineEdit* loopSeconds;
    QLineEdit* pauseSeconds;
    QCheckBox* restartComputer;
    QLineEdit* restartHour;
    QCheckBox* notifyIpChange;
    QLineEdit* ipChangeRecipient;
    QPushButton* mailServer;
    QCheckBox* displayCaption;
    QCheckBox* autoStart;
    QCheckBox* alwaysOnTop;
    QCheckBox* keepProportions;

private:
    void editMailServer();

    Prompter& prompter_;
    std::string smtpServer_;
    std::string smtpUserName_;
    std::string smtpPassword_;
    std::string smtpSender_;
};

} // namespace vantry::station::ui
