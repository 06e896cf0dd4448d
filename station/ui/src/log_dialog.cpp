#include "station/ui/log_dialog.h"

#include "station/ui/prompter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vantry::station::ui {

namespace {

const char* const kTypeNames[4] = { "Operation", "Event", "Option", "Connection" };

} // namespace

LogDialog::LogDialog(common::EventLog& log, Prompter& prompter, QWidget* parent)
    : QDialog(parent)
    , log_(log)
    , prompter_(prompter)
{
    setWindowTitle("Log");
    resize(760, 480);
    typeList = new QComboBox(this);
    typeList->addItems({ "Operation Logs", "Event Logs", "Option Logs", "Connection Logs", "All Logs" });
    typeList->setCurrentIndex(4);
    list = new QTreeWidget(this);
    list->setColumnCount(4);
    list->setHeaderLabels({ "Time", "Type", "Camera ", "Description" });
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->header()->setStretchLastSection(true);
    list->setColumnWidth(0, 150);
    list->setColumnWidth(1, 90);
    list->setColumnWidth(2, 80);
    numberOfLogs = new QLineEdit(QString::number(log.capacity()), this);
    numberOfLogs->setMaximumWidth(80);
    logMotionEvents = new QCheckBox("Log motion &events", this);
    logMotionEvents->setChecked(log.countMotionEvents());
    logRemoteConnections = new QCheckBox("Log &remote connections", this);
    logRemoteConnections->setChecked(log.countRemoteConnections());
    currentConnections = new QPushButton("&Current connections from Remote programs...", this);
    closeButton = new QPushButton("&Close", this);

    auto* layout = new QVBoxLayout(this);
    auto* top = new QFormLayout;
    top->addRow("&Log type:", typeList);
    layout->addLayout(top);
    layout->addWidget(list, 1);
    auto* settings = new QFormLayout;
    settings->addRow("The &number of logs (100..1000):", numberOfLogs);
    layout->addLayout(settings);
    layout->addWidget(logMotionEvents);
    layout->addWidget(logRemoteConnections);
    auto* row = new QHBoxLayout;
    row->addWidget(currentConnections);
    row->addStretch();
    row->addWidget(closeButton);
    layout->addLayout(row);

    connect(typeList, &QComboBox::currentIndexChanged, this, &LogDialog::fill);
    connect(closeButton, &QPushButton::clicked, this, &LogDialog::accept);
    connect(currentConnections, &QPushButton::clicked, this, &LogDialog::connectionsRequested);
    fill();
}

void LogDialog::fill()
{
    list->clear();
    const int type = typeList->currentIndex();
    const auto records = log_.ReadAll();
    if (!records)
        return;
    QList<QTreeWidgetItem*> items;
    for (const common::LogRecord& record : *records) {
        if (type < 4 && record.type != type)
            continue;
        const QString when = QDateTime::fromSecsSinceEpoch(record.time).toString("yyyy/MM/dd HH:mm:ss");
        const QString kind = record.type >= 0 && record.type < 4 ? kTypeNames[record.type] : QString::number(record.type);
        const QString camera = record.camera < 0 ? QStringLiteral("System") : QStringLiteral("Camera %1").arg(record.camera + 1);
        items.append(new QTreeWidgetItem({ when, kind, camera, QString::fromLocal8Bit(record.text.c_str()) }));
    }
    list->addTopLevelItems(items);
    // The newest entries are the ones worth seeing first.
    list->scrollToBottom();
}

Refusal LogDialog::check() const
{
    return checkRange(numberOfLogs, 100, 1000);
}

bool LogDialog::apply()
{
    log_.setCountMotionEvents(logMotionEvents->isChecked());
    log_.setCountRemoteConnections(logRemoteConnections->isChecked());
    const int wanted = fieldValue(numberOfLogs);
    if (wanted == log_.capacity())
        return true;
    return log_.Resize(log_.capacity(), wanted);
}

void LogDialog::accept()
{
    const Refusal refusal = check();
    if (refusal) {
        prompter_.inform(this, refusal.messageId, refusal.text);
        numberOfLogs->setFocus();
        return;
    }
    apply();
    QDialog::accept();
}

} // namespace vantry::station::ui
