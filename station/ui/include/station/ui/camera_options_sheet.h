#pragma once

#include <QDialog>

#include <vector>

class QTabWidget;

namespace vantry::station::ui {

class CameraOptionsPage;

// "Camera Options": one page per camera that has a video device, titled "Camera 1".."Camera 4".
class CameraOptionsSheet final : public QDialog {
    Q_OBJECT
public:
    explicit CameraOptionsSheet(QWidget* parent = nullptr);

    void addPage(CameraOptionsPage* page);
    void showCamera(int cameraIndex);
    const std::vector<CameraOptionsPage*>& pages() const { return pages_; }
    QTabWidget* tabs() const { return tabs_; }

private:
    QTabWidget* tabs_;
    std::vector<CameraOptionsPage*> pages_;
};

} // namespace vantry::station::ui
