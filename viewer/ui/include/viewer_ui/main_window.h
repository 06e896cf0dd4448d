// The viewer's window: the video in the skin's frame, the skin buttons above, the camera and
// PTZ buttons below, the status panel with its five icons and the frame time, the menus with
// their accelerators, and the commands behind them. The window owns no state of the link; it
// shows what the session reports.
#pragma once

#include "viewer/viewer_texts.h"
#include "viewer_ui/skin.h"

#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <QToolButton>

#include <array>
#include <memory>

namespace vantry::viewer {
class ViewerSession;
}

namespace vantry::viewer_ui {

class VideoView;

class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    MainWindow(viewer::ViewerSession& session, QWidget* parent = nullptr);
    ~MainWindow() override;

    VideoView* videoView() const { return video_; }
    // Connects without the dialog (the --connect argument). 1 / 0.
    int connectDirect(const QString& host, uint16_t port, int camera);
    // Fits the window to the picture (320 x 240 without one); centred at start.
    void fitToPicture(bool centre = false);
    // Raises the window, restoring it when minimised.
    void bringToFront();
    QLabel* statusIconLabel(int icon) const { return icons_.at(static_cast<size_t>(icon)); }

public slots:
    void connectCommand();
    void recordCommand();
    void snapshotCommand();
    void searchCommand();
    void preferencesCommand();
    void logoutCommand();
    void helpCommand();
    void aboutCommand();

protected:
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void buildActions();
    void buildMenus();
    void buildButtons(QWidget* top, QWidget* bottom);
    bool askLogin();
    void updateMenuState();
    void updateButtons();
    void setStatusIcon(int icon, int state);
    void showMessage(const QString& text, bool warning = false);
    void updateFrameTime();
    QToolButton* skinButton(const QString& picture, viewer::ViewerText tip, QWidget* parent);

    viewer::ViewerSession& session_;
    Skin skin_;
    VideoView* video_ = nullptr;
    QWidget* cameraRow_ = nullptr;
    std::array<QToolButton*, 4> cameraButtons_ {};
    std::array<QToolButton*, 6> ptzButtons_ {};
    std::array<QLabel*, 5> icons_ {};
    QLabel* frameTime_ = nullptr;
    QToolButton* recordButton_ = nullptr;

    QAction* connectAction_ = nullptr;
    QAction* recordAction_ = nullptr;
    QAction* snapshotAction_ = nullptr;
    QAction* searchAction_ = nullptr;
    QAction* preferencesAction_ = nullptr;
    std::array<QAction*, 4> cameraActions_ {};
    std::array<QAction*, 6> ptzActions_ {};
    QAction* onScreenPtzAction_ = nullptr;
    QAction* menuBarAction_ = nullptr;
    QAction* statusBarAction_ = nullptr;
    QAction* restoreAction_ = nullptr;
    QAction* eventOnlyAction_ = nullptr;
    QAction* helpAction_ = nullptr;
    QAction* logoutAction_ = nullptr;
    QAction* aboutAction_ = nullptr;
    bool placedOnce_ = false;
};

} // namespace vantry::viewer_ui
