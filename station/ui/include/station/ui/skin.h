#pragma once

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QRegion>
#include <QSize>
#include <QString>

#include <array>
#include <cstdint>
#include <vector>

namespace vantry::station::ui {

// What a press does to a picture button's state.
enum class ButtonType { Push = 1, Toggle = 2, Latch = 3 };

// The panel buttons in their order: position p has control id 80 + p and tooltip 61397 + p.
struct ButtonDefinition {
    const char* section;
    uint32_t command; // 0: handled by the window itself
};
inline constexpr int kButtonCount = 22;
extern const std::array<ButtonDefinition, kButtonCount> kButtons;
namespace button {
inline constexpr int kAll = 0;
inline constexpr int kCamera1 = 1; // .. 4
inline constexpr int kLoop = 5;
inline constexpr int kFull = 6;
inline constexpr int kSnapshot = 7;
inline constexpr int kPauseDetection = 8;
inline constexpr int kSearch = 9;
inline constexpr int kPreference = 10;
inline constexpr int kPower = 11;
inline constexpr int kMinimize = 12;
inline constexpr int kHelp = 13;
inline constexpr int kFirstPtz = 14;
inline constexpr int kPtzPreset = 21;
} // namespace button

struct ButtonSkin {
    bool shown = false;
    QImage picture; // five frames stacked vertically
    QPoint position;
    ButtonType type = ButtonType::Push;
};

// The skin folder ui_s: ui.ini and its pictures, read once at start-up.
struct Skin {
    QString folder;
    QString tvStandard;
    QSize size { 1024, 768 };
    QImage background;
    std::array<QImage, 4> corners; // left-top, right-top, left-bottom, right-bottom
    // The corners as they are painted: pure red made transparent, so that no red shows
    // even where the window system does not cut the window to its shape.
    std::array<QImage, 4> paintedCorners;
    QRect videoArea { 29, 71, 720, 576 };
    QRect presetBox { 780, 609, 148, 32 };
    std::array<ButtonSkin, kButtonCount> buttons;
    QSize defaultVideo { 360, 288 };
    QRect splitArea { 24, 20, 728, 632 };
    std::array<QImage, 6> lights; // off, on, red, light red, PTZ, standby
    QImage statusBackground;
    QPoint statusPosition { 784, 148 };
    // [camera][kind]: video, audio, detect, record
    std::array<std::array<QPoint, 4>, 4> lightPositions {};
    QImage timeBackground;
    QPoint timePosition { 23, 672 };
    QColor timeColour { 0, 196, 196 };
    std::array<QImage, 3> captionIcons; // record, motion, motion (blink)

    // The window size from section background alone (checked before anything is drawn).
    static QSize readWindowSize(const QString& folder);
    // Reads everything; false with the reason when the background or a corner is missing.
    bool load(const QString& skinFolder, QString* error);
    bool isPalOrSecam() const;
};

// The window shape: a black picture of the window size with the four corner pictures at the
// corners; every run of pixels that is not pure red becomes part of the region.
QRegion windowRegion(const QSize& size, const std::array<QImage, 4>& corners);
// The region of the non-red pixels of a picture.
QRegion regionWithoutPureRed(const QImage& picture);

// Start-up's screen check: 0 when the screen holds the window, else the message 61481.
int checkScreenSize(const QSize& screen, const QSize& window);

} // namespace vantry::station::ui
