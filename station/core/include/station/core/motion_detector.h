#pragma once

#include "station/core/grey_bitmap.h"
#include "station/core/luma_converter.h"
#include "station/core/mask_file.h"
#include "station/core/motion_settings.h"
#include "station/core/video_format.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace vantry::station {

// Slot 0 watches the live picture; slot 1 feeds the live preview of the options dialog
// with its own thresholds, so trying values never disturbs detection.
enum class DetectionSlot { Live = 0, Preview = 1 };

struct ChangedShare {
    int percent = 0;
    int hundredths = 0;
};

// Frame-by-frame comparison of luminance pictures inside the mask. Owns the mask and the
// detector settings of one camera; knows nothing of time, events or recording.
class MotionDetector {
public:
    static constexpr int kLevelThresholdMax = 255;
    static constexpr unsigned kVolumeThresholdMaxPercent = 100;

    MotionDetector() = default;

    // The capture format: recomputes V of both slots and rescales the mask to the new size.
    // An unknown subtype is kept; frames in it are simply not processed.
    void setFrameFormat(const FrameFormat& format);
    const FrameFormat& frameFormat() const { return format_; }

    // Allocates the slot's three pictures and arms its first frame; 1 on success, 0 when the
    // format gives no picture (nothing to allocate) - detection then does not start.
    int startSlot(DetectionSlot slot);
    void stopSlot(DetectionSlot slot);
    bool isActive(DetectionSlot slot) const { return slotOf(slot).active; }

    // Process frame: true when the count of changed pixels is greater than V.
    // An inactive slot, a frame in an unknown format or a frame too short is no motion.
    bool processFrame(DetectionSlot slot, const uint8_t* frame, size_t frameBytes);

    ChangedShare changedShare(DetectionSlot slot) const;
    uint64_t changedPixels(DetectionSlot slot) const { return slotOf(slot).changedPixels; }
    int largestDifference(DetectionSlot slot) const { return slotOf(slot).largestDifference; }
    uint64_t volumePixels(DetectionSlot slot) const { return slotOf(slot).volumePixels; }
    unsigned volumeThresholdPercent(DetectionSlot slot) const { return slotOf(slot).volumePercent; }
    int levelThreshold(DetectionSlot slot) const { return slotOf(slot).levelThreshold; }
    // The slot's last pictures (bottom-up grey bitmaps), for the dialogs' display.
    const GreyBitmap& currentPicture(DetectionSlot slot) const { return slotOf(slot).current; }
    const GreyBitmap& differencePicture(DetectionSlot slot) const { return slotOf(slot).difference; }

    // 1 when accepted, 0 when refused (above 100, or outside 0..255).
    int setVolumeThreshold(DetectionSlot slot, unsigned percent);
    int setLevelThreshold(DetectionSlot slot, int level);

    // The options exchange with the camera options dialog; writing updates the settings and
    // the live slot. Values out of range are refused as a whole (returns 0).
    MotionOptions options() const;
    int setOptions(const MotionOptions& options);

    // Settings with their mask: load reads the mask file they name (a missing or bad file
    // leaves no mask; the reason is in maskLoadResult()), save writes mask%02d.dat into
    // the data folder and returns the settings to store. Saving before a load is refused,
    // so defaults never overwrite a camera's stored settings.
    void loadSettings(const MotionSettings& settings);
    const MaskFileResult& maskLoadResult() const { return maskLoad_; }
    std::optional<MotionSettings> saveSettings(const std::string& dataFolder, int cameraIndex,
                                               std::string* error = nullptr);
    const MotionSettings& settings() const { return settings_; }
    void setEditorSettings(bool displayGrid, bool transparentMask, int gridSize);

    // The mask: a frame-sized grey bitmap, 0 = not watched. Without a mask all is watched.
    const std::optional<GreyBitmap>& mask() const { return mask_; }
    void setMask(std::optional<GreyBitmap> mask);
    void clearMask() { mask_.reset(); }
    void maskEverything();
    // Marks the grid cell holding frame pixel (x, y from the top) watched or not; a mask of
    // all 255 afterwards is dropped.
    void markCell(int x, int y, bool watched);

private:
    struct Slot {
        bool active = false;
        bool firstFrame = true;
        unsigned volumePercent = MotionSettings::kDefaultVolumeThresholdPercent;
        uint64_t volumePixels = 0;
        int levelThreshold = MotionSettings::kDefaultLevelThreshold;
        uint64_t changedPixels = 0;
        int largestDifference = 0;
        GreyBitmap previous;
        GreyBitmap current;
        GreyBitmap difference;
    };

    Slot& slotOf(DetectionSlot slot) { return slots_[static_cast<size_t>(slot)]; }
    const Slot& slotOf(DetectionSlot slot) const { return slots_[static_cast<size_t>(slot)]; }
    uint64_t volumeFor(unsigned percent) const;
    void fitMaskToFormat();
    void dropMaskWhenAllWatched();

    LumaConverter converter_;
    FrameFormat format_;
    MotionSettings settings_;
    bool settingsLoaded_ = false;
    MaskFileResult maskLoad_;
    std::optional<GreyBitmap> mask_;
    std::array<Slot, 2> slots_ {};
};

} // namespace vantry::station
