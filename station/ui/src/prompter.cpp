#include "station/ui/prompter.h"

#include <QMessageBox>

namespace vantry::station::ui {

void MessageBoxPrompter::inform(QWidget* parent, int, const QString& text)
{
    QMessageBox::information(parent, kProgramTitle, text);
}

bool MessageBoxPrompter::ask(QWidget* parent, int, const QString& text)
{
    return QMessageBox::question(parent, kProgramTitle, text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

} // namespace vantry::station::ui
