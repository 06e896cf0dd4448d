#pragma once

#include "station/ui/dialog_checks.h"

#include <QDialog>

class QLineEdit;

namespace vantry::station::ui {

class Prompter;
class UiTexts;

// "Login": one masked password field. A wrong password keeps the dialog open, as often as
// the user tries; Cancel gives up.
class LoginDialog final : public QDialog {
    Q_OBJECT
public:
    LoginDialog(QString password, const UiTexts& texts, Prompter& prompter, QWidget* parent = nullptr);

    QLineEdit* passwordField() const { return field_; }
    // The comparison is exact (case and spaces count).
    Refusal check() const;
    void accept() override;

private:
    QString password_;
    const UiTexts& texts_;
    Prompter& prompter_;
    QLineEdit* field_;
};

} // namespace vantry::station::ui
