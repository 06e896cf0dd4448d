#pragma once

#include <QSize>

#include <array>
#include <optional>

namespace vantry::station::ui {

// Sizes of the split screen, from the cameras' capture sizes.
namespace geometry {

inline constexpr int kAllCameras = 40; // layout mode; 0..3 shows that camera alone

// The size one camera is shown at in the all-cameras layout.
QSize displaySize(const QSize& captureSize);
// The caption bar's height: the larger of the text height plus 4 and the icon height plus 4,
// or 0 without a caption.
int captionHeight(bool caption, int textHeight, int iconHeight);
// The cell of the all-cameras layout: the largest display size among the cameras with a
// device, or the skin's default when none has one.
QSize cellSize(const std::array<std::optional<QSize>, 4>& captureSizes, const QSize& defaultCell);
// The split-screen window for a layout mode.
QSize splitScreenSize(int layoutMode, const std::array<std::optional<QSize>, 4>& captureSizes,
                      const QSize& defaultCell, int captionHeight);

} // namespace geometry

} // namespace vantry::station::ui
