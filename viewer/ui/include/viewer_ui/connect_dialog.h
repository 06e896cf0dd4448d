// "Connect": by address or by connection ID, the camera, the quick list of earlier
// connections and the advanced stream options.
#pragma once

#include "viewer/viewer_settings.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QRadioButton;
class QSlider;
class QSpinBox;
class QLabel;

namespace vantry::viewer_ui {

class ConnectDialog : public QDialog {
    Q_OBJECT

public:
    ConnectDialog(const viewer::ViewerSettings& settings, QWidget* parent = nullptr);
    // The settings with the dialog's choices (address mode, address, port, ID, camera and,
    // when the advanced dialog was confirmed, the stream options).
    viewer::ViewerSettings result() const;
    bool saveToQuickList() const;
    // The history entry for this connection: "address:port" or the ID.
    QString historyEntry() const;
    // Fills the fields from a quick-list entry ("host:port" is an address, else an ID).
    void chooseHistoryEntry(const QString& entry);

private:
    void updateMode();
    void openAdvanced();

    viewer::ViewerSettings settings_;
    QRadioButton* byAddress_ = nullptr;
    QRadioButton* byId_ = nullptr;
    QLabel* addressLabel_ = nullptr;
    QLineEdit* address_ = nullptr;
    QLabel* portLabel_ = nullptr;
    QSpinBox* port_ = nullptr;
    QLabel* idLabel_ = nullptr;
    QLineEdit* id_ = nullptr;
    QComboBox* camera_ = nullptr;
    QListWidget* history_ = nullptr;
    QCheckBox* save_ = nullptr;
};

// "Advanced Settings": quality slider (right end best), video size and frame rate.
class AdvancedDialog : public QDialog {
    Q_OBJECT

public:
    AdvancedDialog(int quality, int halfSize, int frameRate, QWidget* parent = nullptr);
    int quality() const;
    int halfSize() const;
    int frameRate() const;
    void setSliderPosition(int position);

private:
    QSlider* slider_ = nullptr;
    QComboBox* size_ = nullptr;
    QComboBox* rate_ = nullptr;
};

} // namespace vantry::viewer_ui
