#pragma once

#include "common/station_settings.h"
#include "station/ui/dialog_checks.h"

#include <QDialog>

#include <array>

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace vantry::station::ui {

class Prompter;

// The ports the two servers listen on now: an unchanged port of a running server is its own
// and needs no check.
struct ServerPorts {
    bool streamServerRunning = false;
    int streamServerPort = 0;
    bool webServerRunning = false;
    int webServerPort = 0;
};

// "Remote Viewing Options": the viewers' password, the web server and the stream server
// with their ports, the connection limit, connect by ID and the cameras that may be viewed.
class RemoteViewingDialog final : public QDialog {
    Q_OBJECT
public:
    RemoteViewingDialog(const common::StationSettings& settings, ServerPorts ports, Prompter& prompter,
                        QWidget* parent = nullptr);

    // The checks of OK in their order; questions are asked through the prompter. A refusal
    // without a message (stayOpen) keeps the dialog open for another OK.
    struct Outcome {
        Refusal refusal;
        bool stayOpen = false;
        bool accepted() const { return !refusal.refused() && !stayOpen; }
    };
    Outcome check();
    void store(common::StationSettings& settings) const;
    void accept() override;

    QCheckBox* verifyPassword;
    QLineEdit* password;
    QCheckBox* webEnable;
    QLineEdit* webPort;
    QComboBox* webVideoSize;
    QCheckBox* streamEnable;
    QLineEdit* streamPort;
    QLineEdit* connectionLimit;
    QCheckBox* connectById;
    QLineEdit* connectId;
    std::array<QCheckBox*, 4> allowedCameras {};

private:
    ServerPorts ports_;
    Prompter& prompter_;
};

} // namespace vantry::station::ui
