#include "station/ui/preferences_dialog.h"

#include "station/ui/prompter.h"
#include "station/ui/ui_texts.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vantry::station::ui {

namespace {

QLineEdit* numberField(QWidget* parent, int value)
{
    auto* field = new QLineEdit(QString::number(value), parent);
    field->setMaximumWidth(80);
    return field;
}

} // namespace

PreferencesDialog::PreferencesDialog(const common::StationSettings& s, Prompter& prompter, QWidget* parent)
    : QDialog(parent)
    , prompter_(prompter)
    , smtpServer_(s.smtpServer)
    , smtpUserName_(s.smtpUserName)
    , smtpPassword_(s.smtpPassword)
    , smtpSender_(s.smtpSender)
{
    setWindowTitle("Preferences");
    siteName = new QLineEdit(QString::fromStdString(s.siteName), this);
    siteName->setMaxLength(64);
    passwordProtection = new QCheckBox("&Password protection", this);
    passwordProtection->setChecked(s.loginRequired != 0);
    password = new QLineEdit(QString::fromStdString(s.loginPassword), this);
    password->setEchoMode(QLineEdit::Password);
    password->setMaxLength(common::StationSettings::kMaxLoginPasswordLength);
    loopSeconds = numberField(this, s.loopDisplayLengthMs / 1000);
    pauseSeconds = numberField(this, s.pauseDetectionLengthMs / 1000);
    restartComputer = new QCheckBox("R&estart computer at", this);
    restartComputer->setChecked(s.restartComputer != 0);
    restartHour = numberField(this, s.restartHour);
    notifyIpChange = new QCheckBox("&Notify IP change by e-mail", this);
    notifyIpChange->setChecked(s.notifyIPChange != 0);
    ipChangeRecipient = new QLineEdit(QString::fromStdString(s.ipChangeRecipient), this);
    ipChangeRecipient->setMaxLength(256);
    mailServer = new QPushButton("Outgoing mail &server...", this);
    displayCaption = new QCheckBox("&Display caption", this);
    displayCaption->setChecked(s.caption != 0);
    autoStart = new QCheckBox("S&tart Vantry when I start Windows", this);
    autoStart->setChecked(s.autoStart != 0);
    alwaysOnTop = new QCheckBox("Al&ways on top", this);
    alwaysOnTop->setChecked(s.alwaysOnTop != 0);
    keepProportions = new QCheckBox("&Keep video propertions in full screen display", this);
    keepProportions->setChecked(s.keepVideoProportions != 0);

    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    form->addRow("&Site Name:", siteName);
    form->addRow(passwordProtection, password);
    form->addRow(new QLabel("Length to &loop display for each camera (1..60 seconds):", this), loopSeconds);
    form->addRow(new QLabel("Length to pause detection (5..600 seconds):", this), pauseSeconds);
    auto* restartRow = new QHBoxLayout;
    restartRow->addWidget(restartHour);
    restartRow->addWidget(new QLabel("o'clock (0..23)", this));
    restartRow->addStretch();
    form->addRow(restartComputer, restartRow);
    layout->addLayout(form);
    auto* ipBox = new QGroupBox(this);
    auto* ipForm = new QFormLayout(ipBox);
    ipForm->addRow(notifyIpChange);
    ipForm->addRow("Receiver (&To):", ipChangeRecipient);
    ipForm->addRow(mailServer);
    layout->addWidget(ipBox);
    for (QCheckBox* box : { displayCaption, autoStart, alwaysOnTop, keepProportions })
        layout->addWidget(box);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &PreferencesDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &PreferencesDialog::reject);
    layout->addWidget(buttons);
    connect(mailServer, &QPushButton::clicked, this, &PreferencesDialog::editMailServer);
}

Refusal PreferencesDialog::check() const
{
    // A protection without a password would ask for nothing and guard nothing.
    if (passwordProtection->isChecked() && password->text().isEmpty())
        return Refusal { text_ids::kEnterPasswordFirst, UiTexts::text(text_ids::kEnterPasswordFirst), password };
    if (Refusal r = checkRange(loopSeconds, 1, 60))
        return r;
    if (Refusal r = checkRange(pauseSeconds, 5, 600))
        return r;
    if (Refusal r = checkRange(restartHour, 0, 23))
        return r;
    return {};
}

void PreferencesDialog::store(common::StationSettings& s) const
{
    s.siteName = siteName->text().toStdString();
    s.loginRequired = passwordProtection->isChecked() ? 1 : 0;
    s.loginPassword = password->text().toStdString();
    s.loopDisplayLengthMs = fieldValue(loopSeconds) * 1000;
    s.pauseDetectionLengthMs = fieldValue(pauseSeconds) * 1000;
    s.restartComputer = restartComputer->isChecked() ? 1 : 0;
    s.restartHour = fieldValue(restartHour);
    s.notifyIPChange = notifyIpChange->isChecked() ? 1 : 0;
    s.ipChangeRecipient = ipChangeRecipient->text().toStdString();
    s.smtpServer = smtpServer_;
    s.smtpUserName = smtpUserName_;
    s.smtpPassword = smtpPassword_;
    s.smtpSender = smtpSender_;
    s.caption = displayCaption->isChecked() ? 1 : 0;
    s.autoStart = autoStart->isChecked() ? 1 : 0;
    s.alwaysOnTop = alwaysOnTop->isChecked() ? 1 : 0;
    s.keepVideoProportions = keepProportions->isChecked() ? 1 : 0;
}

void PreferencesDialog::accept()
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

void PreferencesDialog::editMailServer()
{
    QDialog dialog(this);
    dialog.setWindowTitle("Outgoing Mail Server");
    auto* server = new QLineEdit(QString::fromStdString(smtpServer_), &dialog);
    auto* user = new QLineEdit(QString::fromStdString(smtpUserName_), &dialog);
    auto* pass = new QLineEdit(QString::fromStdString(smtpPassword_), &dialog);
    pass->setEchoMode(QLineEdit::Password);
    auto* from = new QLineEdit(QString::fromStdString(smtpSender_), &dialog);
    auto* form = new QFormLayout(&dialog);
    form->addRow("&Server:", server);
    form->addRow("&User name:", user);
    form->addRow("&Password:", pass);
    form->addRow("&From:", from);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return;
    smtpServer_ = server->text().toStdString();
    smtpUserName_ = user->text().toStdString();
    smtpPassword_ = pass->text().toStdString();
    smtpSender_ = from->text().toStdString();
}

} // namespace vantry::station::ui
