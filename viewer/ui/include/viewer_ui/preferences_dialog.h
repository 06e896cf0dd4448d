// "Preferences": storage, free-space minimum, file length, connect timeout, record type, the
// alarm and its sound, recycling and raising the window on events.
#pragma once

#include "viewer/viewer_settings.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;

namespace vantry::viewer_ui {

class PreferencesDialog : public QDialog {
    Q_OBJECT

public:
    PreferencesDialog(const viewer::ViewerSettings& settings, QWidget* parent = nullptr);
    viewer::ViewerSettings result() const;

private:
    viewer::ViewerSettings settings_;
    QLineEdit* storage_ = nullptr;
    QSpinBox* minFree_ = nullptr;
    QSpinBox* fileLength_ = nullptr;
    QSpinBox* timeout_ = nullptr;
    QComboBox* recordType_ = nullptr;
    QCheckBox* alarm_ = nullptr;
    QLineEdit* alarmFile_ = nullptr;
    QCheckBox* recycle_ = nullptr;
    QCheckBox* showUp_ = nullptr;
};

} // namespace vantry::viewer_ui
