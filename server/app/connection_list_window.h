#pragma once

#include <QMainWindow>

#include <ctime>

class QTreeWidget;
class QTimer;

namespace vantry::server {

class StreamServer;

// "Current Connections from Remote Programs": one row per viewer with its address, port,
// connection time, camera, frame rate and data rate. Closing only hides it; the station
// shows it again on demand.
class ConnectionListWindow final : public QMainWindow {
public:
    explicit ConnectionListWindow(StreamServer& server);
    // Rewrites every row from the server's table (also on every change of the table).
    void rebuild();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    StreamServer& server_;
    QTreeWidget* list_ = nullptr;
    QTimer* refresh_ = nullptr;
};

} // namespace vantry::server
