#include "station/ui/prompter.h"

#include <QMessageBox>

#include <cstdio>

namespace vantry::station::ui {

void MessageBoxPrompter::inform(QWidget* parent, int, const QString& text)
{
    QMessageBox::information(parent, kProgramTitle, text);
}

bool MessageBoxPrompter::ask(QWidget* parent, int, const QString& text)
{
    return QMessageBox::question(parent, kProgramTitle, text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void StderrPrompter::inform(QWidget*, int messageId, const QString& text)
{
    std::fprintf(stderr, "vantry: message %d: %s\n", messageId, qPrintable(QString(text).replace('\n', ' ')));
}

bool StderrPrompter::ask(QWidget*, int messageId, const QString& text)
{
    std::fprintf(stderr, "vantry: question %d answered no (no screen to ask on): %s\n", messageId,
                 qPrintable(QString(text).replace('\n', ' ')));
    return false;
}

} // namespace vantry::station::ui
