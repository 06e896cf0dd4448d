#include "connection_list_window.h"

#include "server/stream_server.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QFontMetrics>
#include <QHeaderView>
#include <QTimer>
#include <QTreeWidget>

namespace vantry::server {

namespace {

constexpr int kRefreshMs = 10000;

QString timeText(std::time_t t)
{
    return QDateTime::fromSecsSinceEpoch(static_cast<qint64>(t)).toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
}

} // namespace

ConnectionListWindow::ConnectionListWindow(StreamServer& server) : server_(server)
{
    setWindowTitle(QStringLiteral("Current Connections from Remote Programs"));
    list_ = new QTreeWidget(this);
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setHeaderLabels({ QStringLiteral("No"), QStringLiteral("IP Address"), QStringLiteral("TCP Port"),
                             QStringLiteral("Connection  Time Stamp"), QStringLiteral("Camera"),
                             QStringLiteral("Frame Rate"), QStringLiteral("Data Rate") });
    // Each column as wide as the wider of its title and a sample; the last takes the rest.
    const QFontMetrics metrics(list_->font());
    const QString samples[] = { QStringLiteral("255"), QStringLiteral("255.255.255.255255.255"), QStringLiteral("65535"),
                                timeText(std::time(nullptr)), QStringLiteral("255"), QStringLiteral("30.0 fps") };
    for (int column = 0; column < 6; ++column) {
        const int title = metrics.horizontalAdvance(list_->headerItem()->text(column));
        list_->setColumnWidth(column, std::max(title, metrics.horizontalAdvance(samples[column])) + 16);
    }
    list_->header()->setStretchLastSection(true);
    setCentralWidget(list_);
    resize(760, 240);

    refresh_ = new QTimer(this);
    refresh_->setInterval(kRefreshMs);
    connect(refresh_, &QTimer::timeout, this, [this] {
        if (list_->topLevelItemCount() > 0)
            rebuild();
    });
    refresh_->start();
}

void ConnectionListWindow::rebuild()
{
    const std::time_t now = std::time(nullptr);
    const auto rows = server_.connectionRows();
    list_->clear();
    int number = 1;
    for (const ConnectionRow& row : rows) {
        auto* item = new QTreeWidgetItem(list_);
        // Before a whole second has passed, the rates count over one second.
        const double seconds = static_cast<double>(std::max<std::time_t>(now - row.statsStart, 1));
        item->setText(0, QString::number(number++));
        item->setText(1, QString::fromStdString(row.address));
        item->setText(2, QString::number(row.port));
        item->setText(3, timeText(row.connectedAt));
        item->setText(4, row.camera >= 0 ? QString::number(row.camera + 1) : QString());
        item->setText(5, QString::asprintf("%.1f fps", static_cast<double>(row.frames) / seconds));
        item->setText(6, QString::asprintf("%.f bps", static_cast<double>(row.bytes) / seconds));
    }
}

void ConnectionListWindow::closeEvent(QCloseEvent* event)
{
    event->ignore();
    hide();
}

void ConnectionListWindow::showEvent(QShowEvent* event)
{
    rebuild();
    QMainWindow::showEvent(event);
}

void ConnectionListWindow::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        rebuild();
    QMainWindow::changeEvent(event);
}

} // namespace vantry::server
