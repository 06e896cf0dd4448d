#include "viewer_ui/main_window.h"

#include "platform/endpoint.h"
#include "platform/program_launcher.h"
#include "viewer/viewer_session.h"
#include "viewer_ui/connect_dialog.h"
#include "viewer_ui/login_dialog.h"
#include "viewer_ui/preferences_dialog.h"
#include "viewer_ui/snapshot_dialog.h"
#include "viewer_ui/video_view.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QVBoxLayout>

namespace vantry::viewer_ui {

namespace {

using viewer::ViewerText;

constexpr uint32_t kPtzCommands[] = { 7, 8, 5, 6, 9, 10 };      // pan left/right, tilt up/down, zoom in/out
constexpr uint32_t kPtzCapability[] = { 2, 2, 1, 1, 4, 4 };     // the camera status bit each needs
constexpr const char* kPtzPictures[] = { "pan_left", "pan_right", "tilt_up", "tilt_down", "zoom_in", "zoom_out" };
constexpr ViewerText kPtzTips[] = { ViewerText::TipPanLeft, ViewerText::TipPanRight, ViewerText::TipTiltUp,
                                    ViewerText::TipTiltDown, ViewerText::TipZoomIn, ViewerText::TipZoomOut };
constexpr const char* kIconPictures[5][3] = {
    { nullptr, "Icon/Icon_Video.bmp", "Icon/Icon_Video_PTZ.bmp" },
    { nullptr, "Icon/Icon_Audio.bmp", nullptr },
    { nullptr, "Icon/Icon_Record.bmp", nullptr },
    { nullptr, "Icon/Icon_Motion.bmp", nullptr },
    { nullptr, "Icon/Icon_Con_1.bmp", "Icon/Icon_Con_2.bmp" },
};

// The skin's frame pieces around the video.
class SkinFrame : public QWidget {
public:
    SkinFrame(const Skin& skin, QWidget* parent)
        : QWidget(parent)
    {
        for (const char* name : { "Left_Top", "Top", "Right_Top", "Left", "Right", "Left_Bottom", "Bottom", "Right_Bottom" })
            pieces_.push_back(skin.picture(QString(name) + ".bmp"));
        const int edge = pieces_[1].isNull() ? 4 : pieces_[1].height();
        const int side = pieces_[3].isNull() ? 4 : pieces_[3].width();
        setContentsMargins(side, edge, side, edge);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        const QMargins m = contentsMargins();
        const QRect r = rect();
        p.fillRect(r, QColor(0x1f, 0x29, 0x33));
        auto tile = [&](int index, const QRect& area) {
            if (!pieces_[static_cast<size_t>(index)].isNull())
                p.drawPixmap(area, pieces_[static_cast<size_t>(index)]);
        };
        tile(1, QRect(m.left(), 0, r.width() - m.left() - m.right(), m.top()));
        tile(6, QRect(m.left(), r.height() - m.bottom(), r.width() - m.left() - m.right(), m.bottom()));
        tile(3, QRect(0, m.top(), m.left(), r.height() - m.top() - m.bottom()));
        tile(4, QRect(r.width() - m.right(), m.top(), m.right(), r.height() - m.top() - m.bottom()));
        tile(0, QRect(0, 0, m.left(), m.top()));
        tile(2, QRect(r.width() - m.right(), 0, m.right(), m.top()));
        tile(5, QRect(0, r.height() - m.bottom(), m.left(), m.bottom()));
        tile(7, QRect(r.width() - m.right(), r.height() - m.bottom(), m.right(), m.bottom()));
    }

private:
    std::vector<QPixmap> pieces_;
};

} // namespace

MainWindow::MainWindow(viewer::ViewerSession& session, QWidget* parent)
    : QMainWindow(parent)
    , session_(session)
    , skin_(QString::fromStdString(session.paths().programFolder))
{
    setObjectName("VYRemote");
    setWindowTitle(QString::fromStdString(session_.windowTitle()));
    setStyleSheet("QMainWindow, QWidget#chrome { background: #1f2933; } QToolButton { border: none; padding: 1px; }"
                  " QToolButton:checked { background: #14b8a6; border-radius: 6px; } QStatusBar { background: #1f2933; color: #e6edf3; }"
                  " QStatusBar QLabel { color: #e6edf3; }"
                  " QMenuBar { background: #1f2933; color: #e6edf3; } QMenuBar::item:selected { background: #323f4b; }");

    auto* chrome = new QWidget(this);
    chrome->setObjectName("chrome");
    auto* layout = new QVBoxLayout(chrome);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);
    auto* top = new QWidget(chrome);
    auto* bottom = new QWidget(chrome);
    auto* frame = new SkinFrame(skin_, chrome);
    auto* frameLayout = new QVBoxLayout(frame);
    frameLayout->setContentsMargins(frame->contentsMargins());
    video_ = new VideoView(session_, skin_.picture("NoSignal.bmp"), frame);
    frameLayout->addWidget(video_);
    layout->addWidget(top);
    layout->addWidget(frame, 1);
    layout->addWidget(bottom);
    setCentralWidget(chrome);

    buildActions();
    buildMenus();
    buildButtons(top, bottom);

    for (size_t i = 0; i < icons_.size(); ++i) {
        icons_[i] = new QLabel(this);
        icons_[i]->setFixedSize(16, 16);
        statusBar()->addWidget(icons_[i]);
        setStatusIcon(static_cast<int>(i), 0);
    }
    frameTime_ = new QLabel(this);
    statusBar()->addWidget(frameTime_, 1);

    connect(&session_, &viewer::ViewerSession::statusIconChanged, this, &MainWindow::setStatusIcon);
    connect(&session_, &viewer::ViewerSession::titleChanged, this, [this](const QString& title) { setWindowTitle(title); });
    connect(&session_, &viewer::ViewerSession::pictureUpdated, this, [this] {
        video_->refresh();
        updateFrameTime();
    });
    connect(&session_, &viewer::ViewerSession::fitToPicture, this, [this] { fitToPicture(); });
    connect(&session_, &viewer::ViewerSession::buttonsChanged, this, &MainWindow::updateButtons);
    connect(&session_, &viewer::ViewerSession::connectionChanged, this, [this](bool) {
        updateButtons();
        setWindowTitle(QString::fromStdString(session_.windowTitle()));
        video_->refresh();
    });
    connect(&session_, &viewer::ViewerSession::recordAllowedChanged, this, [this](bool allowed) {
        recordButton_->setChecked(allowed);
        recordAction_->setChecked(allowed);
    });
    connect(&session_, &viewer::ViewerSession::raiseRequested, this, &MainWindow::bringToFront);
    connect(&session_, &viewer::ViewerSession::lockChanged, this, [this](bool) { video_->refresh(); });

    session_.setMessageSink([this](const std::string& text) { showMessage(QString::fromStdString(text)); });
    session_.setPasswordPrompt([this]() -> std::optional<std::string> {
        LoginDialog dialog(this);
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        return dialog.password().toStdString();
    });
    session_.setQuestionPrompt([this](const std::string& text) {
        return QMessageBox::question(this, windowTitle(), QString::fromStdString(text)) == QMessageBox::Yes;
    });
    updateButtons();
    fitToPicture(true);
}

MainWindow::~MainWindow()
{
    session_.setMessageSink({});
    session_.setPasswordPrompt({});
    session_.setQuestionPrompt({});
}

QToolButton* MainWindow::skinButton(const QString& picture, ViewerText tip, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    const QPixmap pixmap = skin_.picture(picture);
    if (!pixmap.isNull()) {
        button->setIcon(pixmap);
        button->setIconSize(pixmap.size());
    }
    button->setToolTip(QString::fromStdString(session_.strings().text(tip)));
    button->setAutoRaise(true);
    return button;
}

void MainWindow::buildActions()
{
    auto make = [this](const QString& text, const QKeySequence& key = {}) {
        auto* action = new QAction(text, this);
        if (!key.isEmpty())
            action->setShortcut(key);
        addAction(action); // shortcuts work with the menu bar hidden
        return action;
    };
    connectAction_ = make("&Connect...", QKeySequence("Alt+C"));
    connect(connectAction_, &QAction::triggered, this, &MainWindow::connectCommand);
    recordAction_ = make("&Record", QKeySequence("Ctrl+R"));
    recordAction_->setCheckable(true);
    connect(recordAction_, &QAction::triggered, this, &MainWindow::recordCommand);
    snapshotAction_ = make("Sn&apshot...", QKeySequence("Ctrl+A"));
    connect(snapshotAction_, &QAction::triggered, this, &MainWindow::snapshotCommand);
    searchAction_ = make("&Search Records...", QKeySequence("Ctrl+S"));
    connect(searchAction_, &QAction::triggered, this, &MainWindow::searchCommand);
    preferencesAction_ = make("&Preferences...", QKeySequence("Alt+P"));
    connect(preferencesAction_, &QAction::triggered, this, &MainWindow::preferencesCommand);
    for (int i = 0; i < 4; ++i) {
        cameraActions_[static_cast<size_t>(i)] = make(QString("Camera &%1").arg(i + 1), QKeySequence(QString("Shift+%1").arg(i + 1)));
        cameraActions_[static_cast<size_t>(i)]->setCheckable(true);
        connect(cameraActions_[static_cast<size_t>(i)], &QAction::triggered, this, [this, i] {
            session_.switchCamera(i);
            updateButtons();
        });
    }
    const char* ptzTexts[] = { "Pan &Left", "Pan &Right", "Tilt &Up", "Tilt &Down", "Zoom &In", "Zoom &Out" };
    const QKeySequence ptzKeys[] = { QKeySequence(Qt::Key_Left), QKeySequence(Qt::Key_Right), QKeySequence(Qt::Key_Up),
                                     QKeySequence(Qt::Key_Down), QKeySequence(Qt::Key_Plus), QKeySequence(Qt::Key_Minus) };
    for (size_t i = 0; i < ptzActions_.size(); ++i) {
        ptzActions_[i] = make(ptzTexts[i], ptzKeys[i]);
        const uint32_t command = kPtzCommands[i];
        connect(ptzActions_[i], &QAction::triggered, this, [this, command] { session_.ptz(command); });
    }
    onScreenPtzAction_ = make("&On Screen Pan/Tilt Control ");
    onScreenPtzAction_->setCheckable(true);
    connect(onScreenPtzAction_, &QAction::toggled, this, [this](bool on) { video_->setOnScreenPtz(on); });
    menuBarAction_ = make("&Menu Bar");
    menuBarAction_->setCheckable(true);
    menuBarAction_->setChecked(true);
    connect(menuBarAction_, &QAction::toggled, this, [this](bool on) { menuBar()->setVisible(on); });
    statusBarAction_ = make("&Status Bar");
    statusBarAction_->setCheckable(true);
    statusBarAction_->setChecked(true);
    connect(statusBarAction_, &QAction::toggled, this, [this](bool on) {
        statusBar()->setVisible(on);
        fitToPicture();
    });
    restoreAction_ = make("&Restore Video Size");
    connect(restoreAction_, &QAction::triggered, this, [this] { fitToPicture(); });
    eventOnlyAction_ = make("&Display Event Video Only", QKeySequence("Alt+D"));
    eventOnlyAction_->setCheckable(true);
    eventOnlyAction_->setChecked(session_.settings().displayEventOnly != 0);
    connect(eventOnlyAction_, &QAction::triggered, this, [this] {
        session_.toggleEventOnly();
        eventOnlyAction_->setChecked(session_.settings().displayEventOnly != 0);
    });
    helpAction_ = make("&Help...", QKeySequence(Qt::Key_F1));
    connect(helpAction_, &QAction::triggered, this, &MainWindow::helpCommand);
    logoutAction_ = make("Log&out");
    connect(logoutAction_, &QAction::triggered, this, &MainWindow::logoutCommand);
    aboutAction_ = make("&About...");
    connect(aboutAction_, &QAction::triggered, this, &MainWindow::aboutCommand);
}

void MainWindow::buildMenus()
{
    QMenu* command = menuBar()->addMenu("Co&mmand");
    command->addAction(connectAction_);
    command->addAction(recordAction_);
    command->addAction(snapshotAction_);
    command->addAction(searchAction_);
    command->addSeparator();
    command->addAction(preferencesAction_);
    command->addAction(logoutAction_);
    command->addSeparator();
    command->addAction("E&xit", this, &QWidget::close);
    QMenu* switchMenu = menuBar()->addMenu("&Switch");
    for (QAction* action : cameraActions_)
        switchMenu->addAction(action);
    QMenu* ptz = menuBar()->addMenu("&PTZ");
    for (QAction* action : ptzActions_)
        ptz->addAction(action);
    ptz->addSeparator();
    ptz->addAction(onScreenPtzAction_);
    QMenu* view = menuBar()->addMenu("&View");
    view->addAction(menuBarAction_);
    view->addAction(statusBarAction_);
    view->addAction(restoreAction_);
    view->addAction(eventOnlyAction_);
    QMenu* help = menuBar()->addMenu("&Help");
    help->addAction(helpAction_);
    help->addAction(aboutAction_);
    for (QMenu* menu : { command, switchMenu, ptz, view, help })
        connect(menu, &QMenu::aboutToShow, this, &MainWindow::updateMenuState);
}

void MainWindow::buildButtons(QWidget* top, QWidget* bottom)
{
    auto* topLayout = new QHBoxLayout(top);
    topLayout->setContentsMargins(0, 0, 0, 0);
    topLayout->setSpacing(2);
    auto* connectButton = skinButton("Btn/Btn_Connect.bmp", ViewerText::TipConnect, top);
    connect(connectButton, &QToolButton::clicked, this, &MainWindow::connectCommand);
    recordButton_ = skinButton("Btn/Btn_Record.bmp", ViewerText::TipRecord, top);
    recordButton_->setCheckable(true);
    connect(recordButton_, &QToolButton::clicked, this, &MainWindow::recordCommand);
    auto* snapButton = skinButton("Btn/Btn_Snap.bmp", ViewerText::TipSnap, top);
    connect(snapButton, &QToolButton::clicked, this, &MainWindow::snapshotCommand);
    auto* searchButton = skinButton("Btn/Btn_Search.bmp", ViewerText::TipSearch, top);
    connect(searchButton, &QToolButton::clicked, this, &MainWindow::searchCommand);
    auto* menuButton = skinButton("Btn/Btn_Switch.bmp", ViewerText::TipShowMenu, top);
    connect(menuButton, &QToolButton::clicked, this, [this] {
        const bool show = !menuBar()->isVisible();
        menuBarAction_->setChecked(show);
        statusBarAction_->setChecked(show);
    });
    auto* restoreButton = skinButton("Btn/Btn_Restore.bmp", ViewerText::TipRestore, top);
    connect(restoreButton, &QToolButton::clicked, this, [this] { fitToPicture(); });
    auto* minButton = skinButton("Btn/Btn_Min.bmp", ViewerText::TipMinimize, top);
    connect(minButton, &QToolButton::clicked, this, &QWidget::showMinimized);
    auto* closeButton = skinButton("Btn/Btn_Close.bmp", ViewerText::TipClose, top);
    connect(closeButton, &QToolButton::clicked, this, &QWidget::close);
    for (QToolButton* button : { connectButton, recordButton_, snapButton, searchButton })
        topLayout->addWidget(button);
    topLayout->addStretch();
    for (QToolButton* button : { menuButton, restoreButton, minButton, closeButton })
        topLayout->addWidget(button);

    auto* bottomLayout = new QHBoxLayout(bottom);
    bottomLayout->setContentsMargins(0, 0, 0, 0);
    bottomLayout->setSpacing(2);
    cameraRow_ = bottom;
    for (int i = 0; i < 4; ++i) {
        QToolButton* button = skinButton(QString("btn/camera%1.bmp").arg(i + 1),
                                         static_cast<ViewerText>(static_cast<int>(ViewerText::TipCamera1) + i), bottom);
        button->setCheckable(true);
        connect(button, &QToolButton::clicked, cameraActions_[static_cast<size_t>(i)], &QAction::trigger);
        cameraButtons_[static_cast<size_t>(i)] = button;
        bottomLayout->addWidget(button);
    }
    bottomLayout->addStretch();
    for (size_t i = 0; i < ptzButtons_.size(); ++i) {
        QToolButton* button = skinButton(QString("btn/%1.bmp").arg(kPtzPictures[i]), kPtzTips[i], bottom);
        connect(button, &QToolButton::clicked, ptzActions_[i], &QAction::trigger);
        ptzButtons_[i] = button;
        bottomLayout->addWidget(button);
    }
}

void MainWindow::setStatusIcon(int icon, int state)
{
    if (icon < 0 || icon >= static_cast<int>(icons_.size()))
        return;
    QLabel* label = icons_[static_cast<size_t>(icon)];
    const char* name = state >= 0 && state < 3 ? kIconPictures[icon][state] : nullptr;
    QPixmap pixmap = name ? skin_.picture(name) : QPixmap();
    if (pixmap.isNull()) {
        // A switched-off icon is painted black.
        pixmap = QPixmap(16, 16);
        pixmap.fill(Qt::black);
    }
    label->setPixmap(pixmap);
    label->setProperty("iconState", state);
}

void MainWindow::updateFrameTime()
{
    const uint32_t time = session_.link().lastFrameTime();
    if (time == 0) {
        frameTime_->clear();
        return;
    }
    const QDateTime when = QDateTime::fromSecsSinceEpoch(time);
    frameTime_->setText(width() < 300 ? when.toString("  HH:mm:ss") : when.toString("  yyyy-MM-dd HH:mm:ss"));
}

void MainWindow::updateButtons()
{
    const bool shown = session_.cameraButtonsShown();
    const int marked = session_.markedCamera();
    for (size_t i = 0; i < cameraButtons_.size(); ++i) {
        cameraButtons_[i]->setVisible(shown);
        cameraButtons_[i]->setChecked(static_cast<int>(i) == marked);
    }
    const uint32_t status = session_.link().connected() ? session_.link().cameraStatus() : 0;
    for (size_t i = 0; i < ptzButtons_.size(); ++i) {
        ptzButtons_[i]->setVisible(status != 0);
        ptzButtons_[i]->setEnabled((status & kPtzCapability[i]) != 0);
    }
    setWindowTitle(QString::fromStdString(session_.windowTitle()));
}

void MainWindow::updateMenuState()
{
    const bool connected = session_.link().connected();
    connectAction_->setText(connected ? "Dis&connect" : "&Connect...");
    recordAction_->setEnabled(connected);
    recordAction_->setChecked(session_.recordAllowed());
    snapshotAction_->setEnabled(connected);
    const bool camerasEnabled = session_.cameraButtonsShown();
    for (size_t i = 0; i < cameraActions_.size(); ++i) {
        cameraActions_[i]->setEnabled(camerasEnabled);
        cameraActions_[i]->setChecked(static_cast<int>(i) == session_.markedCamera());
    }
    const uint32_t status = connected ? session_.link().cameraStatus() : 0;
    for (size_t i = 0; i < ptzActions_.size(); ++i)
        ptzActions_[i]->setEnabled((status & kPtzCapability[i]) != 0);
    eventOnlyAction_->setChecked(session_.settings().displayEventOnly != 0);
    logoutAction_->setVisible(session_.settings().hasMask != 0);
    logoutAction_->setText(session_.locked() ? "Log&in..." : "Log&out");
}

void MainWindow::showMessage(const QString& text, bool warning)
{
    if (warning)
        QMessageBox::warning(this, windowTitle(), text);
    else
        QMessageBox::information(this, windowTitle(), text);
}

bool MainWindow::askLogin()
{
    if (!session_.locked())
        return true;
    LoginDialog dialog(this);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    return session_.unlock(dialog.password().toStdString());
}

int MainWindow::connectDirect(const QString& host, uint16_t port, int camera)
{
    QApplication::setOverrideCursor(Qt::BusyCursor);
    const int result = session_.connectTo(host.toStdString(), port, camera);
    QApplication::restoreOverrideCursor();
    return result;
}

void MainWindow::connectCommand()
{
    if (!askLogin())
        return;
    if (session_.link().connected() || session_.reconnecting()) {
        session_.disconnectCommand();
        video_->refresh();
        return;
    }
    ConnectDialog dialog(session_.settings(), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    viewer::ViewerSettings& settings = session_.settings();
    settings = dialog.result();
    std::string host = settings.ip;
    uint16_t port = static_cast<uint16_t>(settings.port);
    if (!settings.byIpAddress) {
        QApplication::setOverrideCursor(Qt::BusyCursor);
        const auto address = session_.lookup(settings.connectionId);
        QApplication::restoreOverrideCursor();
        if (!address) {
            showMessage(QString::fromStdString(session_.strings().text(ViewerText::LookupFailed)));
            session_.saveSettings();
            return;
        }
        host = address->host;
        port = address->port;
    }
    if (connectDirect(QString::fromStdString(host), port, settings.cameraIndex)) {
        if (dialog.saveToQuickList())
            settings.addHistory(dialog.historyEntry().toStdString());
    } else {
        showMessage(QString::fromStdString(session_.strings().text(ViewerText::CannotConnect)));
    }
    session_.saveSettings();
}

void MainWindow::recordCommand()
{
    const bool wanted = !session_.recordAllowed();
    if (!askLogin() || (!session_.link().connected() && wanted)) {
        recordButton_->setChecked(session_.recordAllowed());
        recordAction_->setChecked(session_.recordAllowed());
        return;
    }
    session_.setRecordAllowed(wanted);
}

void MainWindow::snapshotCommand()
{
    if (!askLogin() || !session_.link().connected())
        return;
    viewer::Picture picture;
    if (!session_.link().picture(picture))
        return;
    const QImage image(picture.bgr.data(), picture.width, picture.height, picture.width * 3, QImage::Format_BGR888);
    SnapshotDialog dialog(image.copy(), picture.time, session_.link().camera() + 1, session_.settings().snap, this);
    dialog.exec();
    session_.saveSettings();
}

void MainWindow::searchCommand()
{
    session_.link().recorder().saveIndex();
    const platform::WindowHandle player = platform::findWindow("VYPlayer");
    if (player != platform::kNoWindow) {
        platform::postMessage(player, platform::kMsgShowWindow, 1, 0);
        return;
    }
    platform::startProgram(session_.paths().programFolder + "/vyplayer", {}, platform::ShowMode::Normal,
                           session_.paths().programFolder);
}

void MainWindow::preferencesCommand()
{
    PreferencesDialog dialog(session_.settings(), this);
    if (dialog.exec() == QDialog::Accepted)
        session_.applyPreferences(dialog.result());
}

void MainWindow::logoutCommand()
{
    if (session_.settings().hasMask == 0)
        return;
    if (session_.locked())
        askLogin();
    else
        session_.lock();
    video_->refresh();
}

void MainWindow::helpCommand()
{
    const std::string manual = session_.paths().programFolder + "/manual.pdf";
    if (!QFileInfo::exists(QString::fromStdString(manual)) ||
        !platform::openDocument(manual, session_.paths().programFolder))
        showMessage(QString::fromStdString(session_.strings().text(ViewerText::HelpMissing)), true);
}

void MainWindow::aboutCommand()
{
    QDialog box(this);
    const QString title = QString::fromStdString(session_.strings().text(ViewerText::ProgramTitle));
    box.setWindowTitle("About " + title);
    auto* layout = new QVBoxLayout(&box);
    QPixmap splash(QString::fromStdString(session_.paths().programFolder) + "/Splash.bmp");
    if (!splash.isNull()) {
        auto* picture = new QLabel(&box);
        picture->setPixmap(splash);
        layout->addWidget(picture);
    }
    layout->addWidget(new QLabel(title + "\nRemote viewer of the Vantry video-surveillance suite.", &box));
    auto* ok = new QPushButton("OK", &box);
    QObject::connect(ok, &QPushButton::clicked, &box, &QDialog::accept);
    layout->addWidget(ok, 0, Qt::AlignRight);
    box.exec();
}

void MainWindow::fitToPicture(bool centre)
{
    int width = session_.link().pictureWidth();
    int height = session_.link().pictureHeight();
    if (width <= 0 || height <= 0) {
        width = 320;
        height = 240;
    }
    if (width == 256)
        width = 320;
    const QSize chrome = size() - video_->size();
    QSize wanted = QSize(width, height) + (isVisible() ? chrome : QSize(40, 120));
    const QScreen* screen = this->screen();
    if (screen) {
        const QRect available = screen->availableGeometry();
        if (wanted.width() > available.width() || wanted.height() > available.height()) {
            const QSize room = available.size() - (wanted - QSize(width, height));
            const QSize video = QSize(width, height).scaled(room, Qt::KeepAspectRatio);
            wanted = video + (wanted - QSize(width, height));
        }
        resize(wanted);
        if (centre || !placedOnce_) {
            move(available.center() - rect().center());
            placedOnce_ = true;
        } else {
            QRect frame = frameGeometry();
            frame.moveLeft(std::clamp(frame.left(), available.left(), std::max(available.left(), available.right() - frame.width())));
            frame.moveTop(std::clamp(frame.top(), available.top(), std::max(available.top(), available.bottom() - frame.height())));
            move(frame.topLeft());
        }
    } else {
        resize(wanted);
    }
}

void MainWindow::bringToFront()
{
    if (isMinimized())
        showNormal();
    show();
    raise();
    activateWindow();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (session_.link().connected() && !askLogin()) {
        event->ignore();
        return;
    }
    session_.shutdown();
    event->accept();
}

void MainWindow::contextMenuEvent(QContextMenuEvent* event)
{
    updateMenuState();
    QMenu menu(this);
    menu.addAction(snapshotAction_);
    menu.addAction(recordAction_);
    QMenu* switchMenu = menu.addMenu("&Switch");
    for (QAction* action : cameraActions_)
        switchMenu->addAction(action);
    QMenu* ptz = menu.addMenu("&PTZ");
    for (QAction* action : ptzActions_)
        ptz->addAction(action);
    ptz->addAction(onScreenPtzAction_);
    menu.exec(event->globalPos());
}

} // namespace vantry::viewer_ui
