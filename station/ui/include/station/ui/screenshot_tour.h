#pragma once

#include <QObject>
#include <QString>

#include <functional>

namespace vantry::station::ui {

class MainWindow;

// A test hook, not a feature: with VANTRY_SCREENSHOT_DIR set, the station saves pictures of
// its main window, the Camera Options sheet, the mask editor and the log viewer into that
// folder and then closes (scripts/station-screenshots uses it).
class ScreenshotTour final : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kEnvironmentVariable = "VANTRY_SCREENSHOT_DIR";

    ScreenshotTour(MainWindow* window, QString folder, std::function<void()> finished);
    // Starts after the cameras had time to deliver pictures.
    void start(int settleMs = 5000);

private:
    void run();
    void grabActiveDialogLater(const QString& name);
    bool save(QWidget* widget, const QString& name);

    MainWindow* window_;
    QString folder_;
    std::function<void()> finished_;
};

} // namespace vantry::station::ui
