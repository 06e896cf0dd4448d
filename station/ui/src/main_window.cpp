#include "station/ui/main_window.h"

#include "common/camera_word.h"
#include "common/station_messages.h"
#include "platform/endpoint.h"
#include "platform/program_launcher.h"
#include "station/core/hub_messages.h"
#include "station/core/station_hub.h"
#include "station/ui/dialog_launcher.h"
#include "station/ui/login_dialog.h"
#include "station/ui/picture_button.h"
#include "station/ui/split_screen.h"
#include "station/ui/station_menus.h"
#include "station/ui/status_panel.h"
#include "station/ui/time_panel.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QScreen>

namespace vantry::station::ui {

MainWindow::MainWindow(const Skin& skin, const UiTexts& texts, Prompter& prompter, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
    , skin_(skin)
    , texts_(texts)
    , prompter_(prompter)
{
    setWindowTitle(kProgramTitle);
    setObjectName("VYWatch");
    setFixedSize(skin_.size);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    // The corners' pure red is not part of the window: clicks there fall through.
    setMask(windowRegion(skin_.size, skin_.corners));

    statusPanel_ = new StatusPanel(skin_, this);
    statusPanel_->move(skin_.statusPosition);
    timePanel_ = new TimePanel(skin_, this);
    timePanel_->move(skin_.timePosition);
    presetName_ = new QLabel(this);
    presetName_->setStyleSheet("color: rgb(220,228,236);");
    {
        const int lineHeight = presetName_->fontMetrics().height();
        const QRect box = skin_.presetBox;
        presetName_->setGeometry(box.left(), box.top() + (box.height() - lineHeight) / 2, box.width(), lineHeight);
    }
    createButtons();
    connect(statusPanel_, &StatusPanel::lightChanged, this, [this](int camera, int, int) {
        if (splitScreen_)
            splitScreen_->setCaptionLights(camera, statusPanel_->light(2, camera), statusPanel_->light(3, camera));
    });
    if (QScreen* screen = QApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
}

MainWindow::~MainWindow() = default;

void MainWindow::attachHub(StationHub* hub)
{
    hub_ = hub;
    splitScreen_ = new SplitScreen(skin_, hub_, this);
    connect(splitScreen_, &SplitScreen::naturalSizeChanged, this, &MainWindow::placeSplitScreen);
    connect(splitScreen_, &SplitScreen::cameraPressed, this, [this](int camera) {
        if (hub_)
            hub_->post(common::msg::kSelectCamera, 0, static_cast<int32_t>(common::makeCameraWord(camera)));
    });
    connect(splitScreen_, &SplitScreen::cameraDoubleClicked, this, [this](int camera) {
        // Alone already: back to all cameras.
        if (splitScreen_->layoutMode() == camera)
            sendCommand(cmd::kLayoutAll);
        else
            sendCommand(cmd::kLayoutCamera1 + static_cast<uint32_t>(camera));
    });
    connect(splitScreen_, &SplitScreen::contextMenuRequested, this, [this](int camera, const QPoint& at) {
        menus_->cameraMenu(camera)->popup(at);
    });
    splitScreen_->installEventFilter(this);
    menus_ = std::make_unique<StationMenus>(this);
    placeSplitScreen();
    splitScreen_->show();
    updateLayoutButtons();
    updatePtzButtons();
    applyAlwaysOnTop();
}

void MainWindow::createButtons()
{
    for (int position = 0; position < kButtonCount; ++position) {
        const ButtonSkin& b = skin_.buttons[static_cast<size_t>(position)];
        if (!b.shown)
            continue;
        auto* button = new PictureButton(b.picture, b.type, this);
        button->move(b.position);
        button->setToolTip(UiTexts::text(text_ids::kFirstTooltip + position));
        connect(button, &PictureButton::clicked, this, [this, position] { onButton(position); });
        buttons_[static_cast<size_t>(position)] = button;
    }
}

void MainWindow::onButton(int position)
{
    switch (position) {
    case button::kPower:
        requestClose();
        return;
    case button::kMinimize:
        showMinimized();
        return;
    case button::kPreference:
        menus_->preferenceMenu()->popup(QCursor::pos());
        return;
    case button::kPtzPreset:
        menus_->presetMenu()->popup(QCursor::pos());
        return;
    default:
        break;
    }
    const uint32_t id = kButtons[static_cast<size_t>(position)].command;
    if (id != 0)
        sendCommand(id);
    // A button's look follows the state, not the press.
    updateLayoutButtons();
}

void MainWindow::sendCommand(uint32_t id, uint32_t cameraWord)
{
    if (hub_)
        hub_->command(id, cameraWord);
}

void MainWindow::placeSplitScreen()
{
    if (!splitScreen_ || fullScreenHost_)
        return;
    const QSize size = splitScreen_->naturalSize();
    splitScreen_->resize(size);
    const QRect area = skin_.splitArea;
    splitScreen_->move(area.left() + (area.width() - size.width()) / 2, area.top() + (area.height() - size.height()) / 2);
    update(area);
}

void MainWindow::updateLayoutButtons()
{
    if (!splitScreen_)
        return;
    const int mode = splitScreen_->layoutMode();
    const auto setOn = [this](int position, bool on) {
        if (PictureButton* b = buttons_[static_cast<size_t>(position)])
            b->setOn(on);
    };
    setOn(button::kAll, mode == geometry::kAllCameras);
    for (int camera = 0; camera < 4; ++camera)
        setOn(button::kCamera1 + camera, mode == camera);
    setOn(button::kLoop, splitScreen_->isLooping());
    setOn(button::kFull, isFullScreenShown());
}

// ----- StationView ---------------------------------------------------------------------

void MainWindow::setIndicator(int cameraIndex, int kind, int state)
{
    statusPanel_->setLight(kind, state, cameraIndex);
}

void MainWindow::showMessage(int messageId, std::string_view text)
{
    const QString shown = text.empty() ? UiTexts::text(messageId) : QString::fromUtf8(text.data(), static_cast<int>(text.size()));
    prompter_.inform(this, messageId, shown);
}

void MainWindow::showCountdown(int seconds)
{
    timePanel_->setCountdown(seconds);
}

void MainWindow::selectCamera(int cameraIndex)
{
    if (splitScreen_)
        splitScreen_->setSelectedCamera(cameraIndex);
    updatePtzButtons();
}

void MainWindow::updatePtzButtons()
{
    // The pan, tilt, zoom and preset buttons move the selected camera only when it has PTZ.
    const int camera = hub_ ? hub_->selectedCamera() : 0;
    const bool ptz = hub_ && hub_->settings().channels[static_cast<size_t>(camera & 3)].ptzControlEnabled != 0;
    for (int position = button::kFirstPtz; position <= button::kPtzPreset; ++position)
        if (PictureButton* b = buttons_[static_cast<size_t>(position)])
            b->setButtonEnabled(ptz);
}

void MainWindow::setLiveVideo(int cameraIndex, bool on)
{
    if (splitScreen_)
        splitScreen_->setLiveVideo(cameraIndex, on);
}

void MainWindow::raiseWindow()
{
    if (isMinimized())
        showNormal();
    show();
    raise();
    activateWindow();
}

void MainWindow::runViewCommand(uint32_t id, int camera)
{
    DialogLauncher launcher(this);
    switch (id) {
    case cmd::kPreferences: launcher.openPreferences(); break;
    case cmd::kRemoteViewingOptions: launcher.openRemoteViewingOptions(); break;
    case cmd::kCameraOptions: launcher.openCameraOptions(camera); break;
    case cmd::kDevices: launcher.openDevices(false); break;
    case cmd::kLogs: launcher.openLogs(); break;
    case cmd::kMaskOptions: launcher.openMaskEditor(camera); break;
    case cmd::kDetectionOptions: launcher.openDetectionOptions(camera); break;
    case cmd::kSnapshot:
    case cmd::kSnapshotMenu: snapshot(camera); break;
    case cmd::kRestoreSize: restoreSize(); break;
    case cmd::kAlwaysOnTop:
        if (hub_) {
            hub_->settings().alwaysOnTop = hub_->settings().alwaysOnTop != 0 ? 0 : 1;
            applyAlwaysOnTop();
        }
        break;
    case cmd::kLayoutAll: setLayoutMode(geometry::kAllCameras); break;
    case cmd::kFullScreen: toggleFullScreen(); break;
    case cmd::kLoopDisplay: toggleLoop(); break;
    case cmd::kPreferenceMenu: menus_->preferenceMenu()->popup(QCursor::pos()); break;
    case cmd::kHelp: openHelp(); break;
    case cmd::kAbout: launcher.openAbout(); break;
    default:
        if (id >= cmd::kLayoutCamera1 && id <= cmd::kLayoutCamera4) {
            const int shown = static_cast<int>(id - cmd::kLayoutCamera1);
            if (hub_)
                hub_->post(common::msg::kSelectCamera, 0, static_cast<int32_t>(common::makeCameraWord(shown)));
            setLayoutMode(shown);
        }
        break;
    }
    updateLayoutButtons();
}

// ----- display -------------------------------------------------------------------------

void MainWindow::setLayoutMode(int mode)
{
    if (!splitScreen_)
        return;
    // A layout chosen by hand ends the loop.
    splitScreen_->stopLoop();
    splitScreen_->setLayoutMode(mode);
    placeSplitScreen();
    updateLayoutButtons();
}

void MainWindow::toggleLoop()
{
    if (!splitScreen_ || !hub_)
        return;
    if (splitScreen_->isLooping()) {
        splitScreen_->stopLoop();
        splitScreen_->setLayoutMode(geometry::kAllCameras);
    } else if (!splitScreen_->startLoop(hub_->settings().loopDisplayLengthMs)) {
        prompter_.inform(this, text_ids::kLoopNeedsTwo, UiTexts::text(text_ids::kLoopNeedsTwo));
    }
    placeSplitScreen();
    updateLayoutButtons();
}

void MainWindow::toggleFullScreen()
{
    if (!splitScreen_)
        return;
    if (fullScreenHost_) {
        splitScreen_->setParent(this);
        splitScreen_->setFullScreenMode(false);
        splitScreen_->installEventFilter(this);
        delete fullScreenHost_;
        fullScreenHost_ = nullptr;
        placeSplitScreen();
        splitScreen_->show();
        updateLayoutButtons();
        return;
    }
    auto* host = new QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint);
    host->setAttribute(Qt::WA_DeleteOnClose, false);
    host->setStyleSheet("background: black;");
    host->installEventFilter(this);
    fullScreenHost_ = host;
    const QRect screen = this->screen() ? this->screen()->geometry() : QRect(0, 0, 1024, 768);
    host->setGeometry(screen);
    splitScreen_->setFullScreenMode(true);
    splitScreen_->setParent(host);
    const QSize natural = splitScreen_->naturalSize();
    const bool keep = hub_ && hub_->settings().keepVideoProportions != 0;
    const QSize size = keep ? natural.scaled(screen.size(), Qt::KeepAspectRatio) : screen.size();
    splitScreen_->setGeometry((screen.width() - size.width()) / 2, (screen.height() - size.height()) / 2, size.width(),
                              size.height());
    splitScreen_->show();
    host->showFullScreen();
    updateLayoutButtons();
}

void MainWindow::restoreSize()
{
    if (fullScreenHost_)
        toggleFullScreen();
    if (isMinimized())
        showNormal();
    setLayoutMode(geometry::kAllCameras);
}

void MainWindow::applyAlwaysOnTop()
{
    if (!hub_)
        return;
    const bool onTop = hub_->settings().alwaysOnTop != 0;
    if (windowFlags().testFlag(Qt::WindowStaysOnTopHint) == onTop)
        return;
    const bool wasVisible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    if (wasVisible)
        show();
}

void MainWindow::refreshFromSettings()
{
    if (splitScreen_) {
        splitScreen_->updateNaturalSize();
        placeSplitScreen();
        splitScreen_->update();
    }
    statusPanel_->update();
}

void MainWindow::openHelp()
{
    const QString folder = hub_ ? QString::fromStdString(hub_->folders().programFolder) : QString();
    const QString help = folder + "/HelpS.htm";
    if (QFileInfo::exists(help))
        platform::openDocument(help.toStdString());
    const QString manual = folder + "/manual.pdf";
    if (!QFileInfo::exists(manual) || !platform::openDocument(manual.toStdString(), folder.toStdString()))
        prompter_.inform(this, text_ids::kHelpMissing, UiTexts::text(text_ids::kHelpMissing));
}

void MainWindow::snapshot(int camera)
{
    if (!hub_)
        return;
    CameraChannel* channel = hub_->channel(camera);
    if (!channel || !channel->hasVideoDevice()) {
        prompter_.inform(this, text_ids::kNoVideoDevice, UiTexts::text(text_ids::kNoVideoDevice));
        return;
    }
    if (hub_->settings().channels[static_cast<size_t>(camera)].displayLiveVideo == 0) {
        prompter_.inform(this, text_ids::kVideoHidden, UiTexts::text(text_ids::kVideoHidden));
        return;
    }
    hub_->diagnostic("Snapshots are taken by the snapshot service, which this station does not run yet.");
}

// ----- login and closing ---------------------------------------------------------------

bool MainWindow::runLoginDialog()
{
    if (!hub_)
        return false;
    LoginDialog dialog(QString::fromStdString(hub_->settings().loginPassword), texts_, prompter_, this);
    return dialog.exec() == QDialog::Accepted;
}

bool MainWindow::requestClose()
{
    if (!confirmAndShutDown())
        return false;
    close();
    return true;
}

bool MainWindow::confirmAndShutDown()
{
    if (closing_)
        return true;
    if (hub_ && !hub_->passLogin())
        return false;
    if (!prompter_.ask(this, text_ids::kCloseQuestion, UiTexts::text(text_ids::kCloseQuestion)))
        return false;
    closing_ = true;
    if (splitScreen_)
        splitScreen_->stopLoop();
    // The station goes first (services, stream server, "Vantry stops.", timers, cameras),
    // then the split screen, the pop-ups and the frame.
    if (closeHandler_)
        closeHandler_();
    else if (hub_)
        hub_->close();
    if (fullScreenHost_)
        delete fullScreenHost_;
    if (splitScreen_)
        splitScreen_->hide();
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget != this && widget->isVisible())
            widget->close();
    return true;
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // A station already closed (a signal, a failed start) has nothing left to ask about.
    if (closing_ || (hub_ && hub_->isClosed())) {
        event->accept();
        return;
    }
    if (confirmAndShutDown())
        event->accept();
    else
        event->ignore();
}

// ----- painting, dragging, keys --------------------------------------------------------

void MainWindow::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.setClipRegion(event->region());
    painter.drawImage(QPoint(0, 0), skin_.background);
    const QSize s = size();
    const auto& c = skin_.paintedCorners;
    painter.drawImage(QPoint(0, 0), c[0]);
    painter.drawImage(QPoint(s.width() - c[1].width(), 0), c[1]);
    painter.drawImage(QPoint(0, s.height() - c[2].height()), c[2]);
    painter.drawImage(QPoint(s.width() - c[3].width(), s.height() - c[3].height()), c[3]);
}

void MainWindow::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    dragging_ = true;
    dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void MainWindow::mouseMoveEvent(QMouseEvent* event)
{
    if (dragging_ && (event->buttons() & Qt::LeftButton))
        move(event->globalPosition().toPoint() - dragOffset_);
}

void MainWindow::mouseReleaseEvent(QMouseEvent*)
{
    dragging_ = false;
}

void MainWindow::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && hub_) {
        hub_->manualTrigger();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (fullScreenHost_ && (watched == fullScreenHost_ || watched == splitScreen_) && key->key() == Qt::Key_Escape) {
            QMetaObject::invokeMethod(this, [this] { toggleFullScreen(); }, Qt::QueuedConnection);
            return true;
        }
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && hub_) {
            hub_->manualTrigger();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace vantry::station::ui
