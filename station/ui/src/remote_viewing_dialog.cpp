#include "station/ui/remote_viewing_dialog.h"

#include "station/ui/prompter.h"
#include "station/ui/ui_texts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QVBoxLayout>

namespace vantry::station::ui {

namespace {

struct WebSize {
    const char* label;
    int width;
    int height;
};
// The original size is stored as -1 x -1.
constexpr WebSize kWebSizes[] = { { "Original size", -1, -1 }, { "320 x 240", 320, 240 }, { "160 x 120", 160, 120 },
                                  { "80 x 60", 80, 60 } };

} // namespace

RemoteViewingDialog::RemoteViewingDialog(const common::StationSettings& s, ServerPorts ports, Prompter& prompter,
                                         QWidget* parent)
    : QDialog(parent)
    , ports_(ports)
    , prompter_(prompter)
{
    setWindowTitle("Remote Viewing Options");
    verifyPassword = new QCheckBox("&Verify password before remote viewing", this);
    verifyPassword->setChecked(s.videoServerPasswordCheck != 0);
    password = new QLineEdit(QString::fromStdString(s.videoServerPassword), this);
    password->setEchoMode(QLineEdit::Password);
    password->setMaxLength(16);
    webEnable = new QCheckBox("&Enable ", this);
    webEnable->setChecked(s.webServerEnabled != 0);
    webPort = new QLineEdit(QString::number(s.webServerPort), this);
    webVideoSize = new QComboBox(this);
    int webIndex = 1;
    for (int i = 0; i < 4; ++i) {
        webVideoSize->addItem(kWebSizes[i].label);
        if (kWebSizes[i].width == s.webPictureWidth && kWebSizes[i].height == s.webPictureHeight)
            webIndex = i;
    }
    webVideoSize->setCurrentIndex(webIndex);
    streamEnable = new QCheckBox("E&nable", this);
    streamEnable->setChecked(s.videoServerEnabled != 0);
    streamPort = new QLineEdit(QString::number(s.videoServerPort), this);
    connectionLimit = new QLineEdit(QString::number(s.connectionLimit), this);
    connectById = new QCheckBox("Connect by I&D:", this);
    connectById->setChecked(s.connectByID != 0);
    connectId = new QLineEdit(QString::fromStdString(s.connectID), this);
    connectId->setMaxLength(255);

    auto* layout = new QVBoxLayout(this);
    auto* pw = new QHBoxLayout;
    pw->addWidget(verifyPassword);
    pw->addWidget(password);
    layout->addLayout(pw);
    auto* web = new QGroupBox("Internet browser (web server)", this);
    auto* webForm = new QFormLayout(web);
    webForm->addRow(webEnable);
    webForm->addRow("TCP &port:", webPort);
    webForm->addRow("Vid&eo size:", webVideoSize);
    layout->addWidget(web);
    auto* stream = new QGroupBox("Remote program (video stream server)", this);
    auto* streamForm = new QFormLayout(stream);
    streamForm->addRow(streamEnable);
    streamForm->addRow("TCP p&ort:", streamPort);
    streamForm->addRow("Maximum connections (1..16):", connectionLimit);
    layout->addWidget(stream);
    auto* id = new QHBoxLayout;
    id->addWidget(connectById);
    id->addWidget(connectId);
    layout->addLayout(id);
    auto* cameras = new QGroupBox("Allowed for remote viewing", this);
    auto* cameraRow = new QHBoxLayout(cameras);
    for (int i = 0; i < 4; ++i) {
        allowedCameras[static_cast<size_t>(i)] = new QCheckBox(QStringLiteral("Camera %1").arg(i + 1), cameras);
        allowedCameras[static_cast<size_t>(i)]->setChecked(s.IsCameraServed(i));
        cameraRow->addWidget(allowedCameras[static_cast<size_t>(i)]);
    }
    layout->addWidget(cameras);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &RemoteViewingDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &RemoteViewingDialog::reject);
    layout->addWidget(buttons);
}

RemoteViewingDialog::Outcome RemoteViewingDialog::check()
{
    const auto refuse = [](int id, QWidget* focus) { return Outcome { Refusal { id, UiTexts::text(id), focus } }; };
    if (verifyPassword->isChecked() && password->text().isEmpty())
        return refuse(text_ids::kEnterPasswordFirst, password);
    if (connectById->isChecked() && connectId->text().trimmed().isEmpty())
        return refuse(text_ids::kConnectIdMissing, connectId);
    bool limitOk = false;
    const int limit = connectionLimit->text().trimmed().toInt(&limitOk);
    if (!limitOk || limit < 1 || limit > 16)
        return refuse(text_ids::kConnectionLimit, connectionLimit);
    // A port outside 1..65535 would be cut to another port by the socket call.
    if (Refusal r = checkRange(webPort, 1, 65535))
        return Outcome { r };
    if (Refusal r = checkRange(streamPort, 1, 65535))
        return Outcome { r };
    if ((webEnable->isChecked() || streamEnable->isChecked()) && !verifyPassword->isChecked()) {
        if (prompter_.ask(this, text_ids::kPasswordCheckOff, UiTexts::text(text_ids::kPasswordCheckOff))) {
            if (password->text().isEmpty())
                return refuse(text_ids::kEnterPasswordFirst, password);
            verifyPassword->setChecked(true);
            return Outcome { {}, true };
        }
    }
    const int stream = fieldValue(streamPort);
    if (streamEnable->isChecked() && (stream != ports_.streamServerPort || !ports_.streamServerRunning)
        && !isTcpPortFree(stream))
        return refuse(text_ids::kStreamPortTaken, streamPort);
    const int web = fieldValue(webPort);
    if (webEnable->isChecked() && (web != ports_.webServerPort || !ports_.webServerRunning) && !isTcpPortFree(web))
        return refuse(text_ids::kWebPortTaken, webPort);
    return {};
}

void RemoteViewingDialog::store(common::StationSettings& s) const
{
    s.videoServerPasswordCheck = verifyPassword->isChecked() ? 1 : 0;
    s.videoServerPassword = password->text().toStdString();
    s.webServerEnabled = webEnable->isChecked() ? 1 : 0;
    s.webServerPort = fieldValue(webPort);
    const WebSize& size = kWebSizes[std::clamp(webVideoSize->currentIndex(), 0, 3)];
    s.webPictureWidth = size.width;
    s.webPictureHeight = size.height;
    s.videoServerEnabled = streamEnable->isChecked() ? 1 : 0;
    s.videoServerPort = fieldValue(streamPort);
    s.connectionLimit = fieldValue(connectionLimit);
    s.connectByID = connectById->isChecked() ? 1 : 0;
    s.connectID = connectId->text().toStdString();
    // Cameras 5 and up (the player's range) keep their bits.
    uint32_t mask = static_cast<uint32_t>(s.servedCameraMask) & ~0xFu;
    for (int i = 0; i < 4; ++i)
        if (allowedCameras[static_cast<size_t>(i)]->isChecked())
            mask |= 1u << i;
    s.servedCameraMask = static_cast<int32_t>(mask);
}

void RemoteViewingDialog::accept()
{
    const Outcome outcome = check();
    if (outcome.refusal) {
        prompter_.inform(this, outcome.refusal.messageId, outcome.refusal.text);
        if (outcome.refusal.focus) {
            outcome.refusal.focus->setFocus();
            if (auto* edit = qobject_cast<QLineEdit*>(outcome.refusal.focus))
                edit->selectAll();
        }
        return;
    }
    if (outcome.stayOpen)
        return;
    QDialog::accept();
}

} // namespace vantry::station::ui
