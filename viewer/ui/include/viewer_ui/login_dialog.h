// "Login": one password entry of at most 16 characters.
#pragma once

#include <QDialog>

class QLineEdit;

namespace vantry::viewer_ui {

class LoginDialog : public QDialog {
    Q_OBJECT

public:
    explicit LoginDialog(QWidget* parent = nullptr);
    QString password() const;

private:
    QLineEdit* password_ = nullptr;
};

} // namespace vantry::viewer_ui
