#include "station/ui/login_dialog.h"

#include "station/ui/prompter.h"
#include "station/ui/ui_texts.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>

namespace vantry::station::ui {

LoginDialog::LoginDialog(QString password, const UiTexts& texts, Prompter& prompter, QWidget* parent)
    : QDialog(parent)
    , password_(std::move(password))
    , texts_(texts)
    , prompter_(prompter)
    , field_(new QLineEdit(this))
{
    setWindowTitle("Login");
    field_->setEchoMode(QLineEdit::Password);
    field_->setMaxLength(16);
    auto* form = new QFormLayout(this);
    form->addRow("&Password:", field_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &LoginDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &LoginDialog::reject);
    form->addRow(buttons);
}

Refusal LoginDialog::check() const
{
    if (field_->text() == password_)
        return {};
    return Refusal { text_ids::kPasswordIncorrect, texts_.named("IDS_MSG_PW_INCORRECT"), field_ };
}

void LoginDialog::accept()
{
    const Refusal refusal = check();
    if (refusal) {
        prompter_.inform(this, refusal.messageId, refusal.text);
        field_->selectAll();
        field_->setFocus();
        return;
    }
    QDialog::accept();
}

} // namespace vantry::station::ui
