#pragma once

#include "station/core/station_view.h"
#include "station/ui/prompter.h"
#include "station/ui/skin.h"
#include "station/ui/ui_texts.h"

#include <QPoint>
#include <QPointer>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>

class QLabel;
class QMenu;

namespace vantry::station {
class StationHub;
}

namespace vantry::station::ui {

class PictureButton;
class SplitScreen;
class StatusPanel;
class TimePanel;
class StationMenus;

// The station's skinned main window: the background with its shape, the panel buttons, the
// status lights, the time panel and the split screen. It holds no state of its own beyond
// what it shows: every command goes through the hub's command table, and the hub calls back
// through StationView.
class MainWindow final : public QWidget, public StationView {
    Q_OBJECT
public:
    MainWindow(const Skin& skin, const UiTexts& texts, Prompter& prompter, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The hub exists once the station has started; the split screen and the menus need it.
    void attachHub(StationHub* hub);
    StationHub* hub() const { return hub_; }
    // What closing does after the question was answered yes: closes the station in its order.
    void setCloseHandler(std::function<void()> handler) { closeHandler_ = std::move(handler); }
    // The close request: login gate, the question, then the closing order. True when closed.
    bool requestClose();
    // The login dialog: true when the password was given (the hub's login gate).
    bool runLoginDialog();

    // A command with a camera word, through the hub.
    void sendCommand(uint32_t id, uint32_t cameraWord = 0);

    // StationView
    void setIndicator(int cameraIndex, int kind, int state) override;
    void showMessage(int messageId, std::string_view text) override;
    void showCountdown(int seconds) override;
    void selectCamera(int cameraIndex) override;
    void setLiveVideo(int cameraIndex, bool on) override;
    void raiseWindow() override;
    void runViewCommand(uint32_t commandId, int cameraIndex) override;

    // Parts, for the dialogs, the menus and tests.
    const Skin& skin() const { return skin_; }
    const UiTexts& texts() const { return texts_; }
    Prompter& prompter() { return prompter_; }
    SplitScreen* splitScreen() const { return splitScreen_; }
    StatusPanel* statusPanel() const { return statusPanel_; }
    TimePanel* timePanel() const { return timePanel_; }
    PictureButton* button(int position) const { return buttons_[static_cast<size_t>(position)]; }
    StationMenus* menus() const { return menus_.get(); }
    bool isFullScreenShown() const { return fullScreenHost_ != nullptr; }

    void setLayoutMode(int mode);
    void toggleFullScreen();
    void toggleLoop();
    void restoreSize();
    void applyAlwaysOnTop();
    // Re-reads what the settings change on screen (caption, proportions).
    void refreshFromSettings();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The login gate, the question and the closing order; true when the station closed.
    bool confirmAndShutDown();
    void createButtons();
    void onButton(int position);
    void placeSplitScreen();
    void updateLayoutButtons();
    void updatePtzButtons();
    void openHelp();
    void snapshot(int cameraIndex);

    const Skin& skin_;
    const UiTexts& texts_;
    Prompter& prompter_;
    StationHub* hub_ = nullptr;
    std::function<void()> closeHandler_;
    std::array<PictureButton*, kButtonCount> buttons_ {};
    StatusPanel* statusPanel_ = nullptr;
    TimePanel* timePanel_ = nullptr;
    SplitScreen* splitScreen_ = nullptr;
    QLabel* presetName_ = nullptr;
    std::unique_ptr<StationMenus> menus_;
    QPointer<QWidget> fullScreenHost_;
    QPoint dragOffset_;
    bool dragging_ = false;
    bool closing_ = false;
};

} // namespace vantry::station::ui
