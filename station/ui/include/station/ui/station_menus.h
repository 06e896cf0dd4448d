#pragma once

#include <QObject>

#include <array>
#include <cstdint>

class QAction;
class QMenu;

namespace vantry::station::ui {

class MainWindow;

// The window's pop-up menus: "Pref" (the preference button), "RClick" (a camera's video)
// and "PTZ" (presets), and the keyboard shortcuts of their commands. Every item sends its
// command through the hub; check marks are read from the settings when a menu opens.
class StationMenus final : public QObject {
    Q_OBJECT
public:
    explicit StationMenus(MainWindow* window);
    ~StationMenus() override;

    QMenu* preferenceMenu() const { return preference_; }
    // The camera menu, with its items aimed at that camera.
    QMenu* cameraMenu(int cameraIndex);
    QMenu* presetMenu();
    // The command of the camera menu's item with this text (tests), 0 when none.
    QAction* cameraAction(uint32_t commandId) const;
    QAction* preferenceAction(uint32_t commandId) const;

private:
    QAction* addCommand(QMenu* menu, const QString& text, uint32_t id, bool checkable = false, bool forCamera = false);
    void updatePreferenceChecks();
    void updateCameraChecks();

    MainWindow* window_;
    QMenu* preference_ = nullptr;
    QMenu* camera_ = nullptr;
    QMenu* preset_ = nullptr;
    int menuCamera_ = 0;
};

} // namespace vantry::station::ui
