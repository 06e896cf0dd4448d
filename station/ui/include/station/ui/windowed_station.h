#pragma once

#include "station/core/station_app.h"
#include "station/ui/prompter.h"
#include "station/ui/skin.h"
#include "station/ui/ui_texts.h"

#include <QSize>
#include <QString>

#include <memory>
#include <optional>
#include <string>

namespace vantry::station::ui {

class MainWindow;

// The station with its window: the screen check, the skin, the main window as the hub's
// view and login gate, then the station itself. Lives on the QApplication's thread.
class WindowedStation {
public:
    struct Environment {
        QString programFolder;          // where ui_s and the language files are
        std::optional<QSize> screenSize; // the screen to check against; empty: the primary screen
        Prompter* prompter = nullptr;    // empty: message boxes
    };
    enum class Result { Running, AlreadyRunning, ScreenTooSmall, Failed };

    WindowedStation(StationOptions options, Environment environment);
    ~WindowedStation();
    WindowedStation(const WindowedStation&) = delete;
    WindowedStation& operator=(const WindowedStation&) = delete;

    Result start(std::string* error = nullptr);
    // Closes the station in its order (no question; for signals and failed starts).
    void close();

    MainWindow* window() const { return window_.get(); }
    StationApp* station() const { return station_.get(); }
    const Skin& skin() const { return skin_; }

private:
    StationOptions options_;
    Environment environment_;
    MessageBoxPrompter messageBoxes_;
    Prompter* prompter_;
    Skin skin_;
    UiTexts texts_;
    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<StationApp> station_;
};

} // namespace vantry::station::ui
