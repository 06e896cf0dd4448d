#include "station/core/motion_detector.h"

#include <algorithm>
#include <cstdlib>

namespace vantry::station {

uint64_t MotionDetector::volumeFor(unsigned percent) const
{
    if (!format_.isValid())
        return 0;
    return static_cast<uint64_t>(percent) * static_cast<uint64_t>(format_.width)
        * static_cast<uint64_t>(format_.absHeight()) / 100u;
}

void MotionDetector::setFrameFormat(const FrameFormat& format)
{
    const bool sizeChanged = format.width != format_.width || format.absHeight() != format_.absHeight();
    format_ = format;
    for (auto& slot : slots_) {
        slot.volumePixels = volumeFor(slot.volumePercent);
        if (sizeChanged && slot.active) {
            // Pictures of the old size cannot be compared with the new one: start over.
            slot.previous = GreyBitmap(format_.width, format_.absHeight(), 0);
            slot.current = slot.previous;
            slot.difference = slot.previous;
            slot.firstFrame = true;
        }
    }
    fitMaskToFormat();
}

void MotionDetector::fitMaskToFormat()
{
    if (!mask_ || !format_.isValid())
        return;
    if (mask_->width() != format_.width || mask_->height() != format_.absHeight()) {
        GreyBitmap scaled = mask_->rescaled(format_.width, format_.absHeight());
        if (scaled.isNull())
            mask_.reset();
        else
            mask_ = std::move(scaled);
    }
}

int MotionDetector::startSlot(DetectionSlot which)
{
    Slot& slot = slotOf(which);
    if (slot.active)
        return 1;
    if (!format_.isValid())
        return 0;
    GreyBitmap blank(format_.width, format_.absHeight(), 0);
    if (blank.isNull())
        return 0;
    slot.previous = blank;
    slot.current = blank;
    slot.difference = std::move(blank);
    slot.firstFrame = true;
    slot.changedPixels = 0;
    slot.largestDifference = 0;
    slot.volumePixels = volumeFor(slot.volumePercent);
    slot.active = true;
    return 1;
}

void MotionDetector::stopSlot(DetectionSlot which)
{
    Slot& slot = slotOf(which);
    slot.active = false;
    slot.previous = GreyBitmap();
    slot.current = GreyBitmap();
    slot.difference = GreyBitmap();
}

bool MotionDetector::processFrame(DetectionSlot which, const uint8_t* frame, size_t frameBytes)
{
    Slot& slot = slotOf(which);
    if (!slot.active || slot.current.isNull())
        return false;

    // Convert into the picture that becomes "current" only once the conversion succeeded,
    // so a bad frame leaves the comparison state as it was.
    GreyBitmap& target = slot.firstFrame ? slot.current : slot.previous;
    if (!converter_.convert(format_, frame, frameBytes, target.pixels(), target.pixelBytes()))
        return false;
    if (mask_ && mask_->pixelBytes() == target.pixelBytes()) {
        const uint8_t* m = mask_->pixels();
        uint8_t* p = target.pixels();
        for (size_t i = 0, n = target.pixelBytes(); i < n; ++i)
            p[i] = m[i] != 0 ? p[i] : uint8_t(0);
    }
    if (slot.firstFrame) {
        slot.firstFrame = false;
        slot.changedPixels = 0;
        slot.largestDifference = 0;
        return false;
    }
    std::swap(slot.previous, slot.current);

    const uint8_t* cur = slot.current.pixels();
    const uint8_t* prev = slot.previous.pixels();
    uint8_t* diff = slot.difference.pixels();
    const uint8_t level = static_cast<uint8_t>(slot.levelThreshold);
    uint64_t count = 0;
    uint8_t largest = 0;
    // The whole buffer, row padding included (it is 0 in both pictures). Written in 8-bit
    // steps with a 32-bit count per block so that the compiler can vectorise it.
    const size_t total = slot.current.pixelBytes();
    constexpr size_t kBlock = 1 << 16;
    for (size_t begin = 0; begin < total; begin += kBlock) {
        const size_t end = std::min(total, begin + kBlock);
        uint32_t blockCount = 0;
        for (size_t i = begin; i < end; ++i) {
            const uint8_t a = cur[i];
            const uint8_t b = prev[i];
            const uint8_t d = static_cast<uint8_t>(a > b ? a - b : b - a);
            diff[i] = d;
            blockCount += d > level ? 1u : 0u;
            largest = d > largest ? d : largest;
        }
        count += blockCount;
    }
    slot.changedPixels = count;
    slot.largestDifference = largest;
    return count > slot.volumePixels;
}

ChangedShare MotionDetector::changedShare(DetectionSlot which) const
{
    const Slot& slot = slotOf(which);
    ChangedShare share;
    if (!format_.isValid())
        return share;
    const uint64_t total = static_cast<uint64_t>(format_.width) * static_cast<uint64_t>(format_.absHeight());
    const uint64_t scaled = slot.changedPixels * 10000u / total;
    share.percent = static_cast<int>(scaled / 100u);
    share.hundredths = static_cast<int>(scaled % 100u);
    return share;
}

int MotionDetector::setVolumeThreshold(DetectionSlot which, unsigned percent)
{
    if (percent > kVolumeThresholdMaxPercent)
        return 0;
    Slot& slot = slotOf(which);
    slot.volumePercent = percent;
    slot.volumePixels = volumeFor(percent);
    return 1;
}

int MotionDetector::setLevelThreshold(DetectionSlot which, int level)
{
    if (level < 0 || level > kLevelThresholdMax)
        return 0;
    slotOf(which).levelThreshold = level;
    return 1;
}

MotionOptions MotionDetector::options() const
{
    MotionOptions o;
    o.levelThreshold = settings_.levelThreshold;
    o.volumeThresholdPercent = settings_.volumeThresholdPercent;
    o.volumePixels = volumeFor(settings_.volumeThresholdPercent);
    o.ignoreShortMotion = settings_.ignoreShortMotion;
    o.shortMotionLengthSeconds = settings_.shortMotionLengthSeconds;
    return o;
}

int MotionDetector::setOptions(const MotionOptions& o)
{
    if (o.levelThreshold < 0 || o.levelThreshold > kLevelThresholdMax || o.volumeThresholdPercent > kVolumeThresholdMaxPercent
        || o.shortMotionLengthSeconds < MotionSettings::kMinShortMotionLengthSeconds
        || o.shortMotionLengthSeconds > MotionSettings::kMaxShortMotionLengthSeconds)
        return 0;
    settings_.levelThreshold = o.levelThreshold;
    settings_.volumeThresholdPercent = o.volumeThresholdPercent;
    settings_.ignoreShortMotion = o.ignoreShortMotion;
    settings_.shortMotionLengthSeconds = o.shortMotionLengthSeconds;
    setLevelThreshold(DetectionSlot::Live, o.levelThreshold);
    setVolumeThreshold(DetectionSlot::Live, o.volumeThresholdPercent);
    return 1;
}

void MotionDetector::loadSettings(const MotionSettings& settings)
{
    settings_ = settings.clamped();
    settingsLoaded_ = true;
    for (auto& slot : slots_) {
        slot.levelThreshold = settings_.levelThreshold;
        slot.volumePercent = settings_.volumeThresholdPercent;
        slot.volumePixels = volumeFor(slot.volumePercent);
    }
    maskLoad_ = loadMaskFile(settings_.maskFileName, settings_.maskFileSize);
    mask_ = maskLoad_.mask;
    fitMaskToFormat();
}

std::optional<MotionSettings> MotionDetector::saveSettings(const std::string& dataFolder, int cameraIndex,
                                                           std::string* error)
{
    if (!settingsLoaded_) {
        if (error)
            *error = "settings were never loaded";
        return std::nullopt;
    }
    MotionSettings out = settings_;
    if (!mask_) {
        out.maskFileSize = 0;
    } else {
        const MaskSaveResult saved = saveMaskFile(dataFolder, cameraIndex, *mask_);
        if (!saved.ok) {
            // Keep the previous file reference: the old mask is better than none.
            if (error)
                *error = saved.error;
        } else {
            out.maskFileName = saved.path;
            out.maskFileSize = saved.size;
        }
    }
    settings_ = out;
    return out;
}

void MotionDetector::setEditorSettings(bool displayGrid, bool transparentMask, int gridSize)
{
    settings_.displayGrid = displayGrid;
    settings_.transparentMask = transparentMask;
    settings_.gridSize = std::clamp(gridSize, MotionSettings::kMinGridSize, MotionSettings::kMaxGridSize);
}

void MotionDetector::setMask(std::optional<GreyBitmap> mask)
{
    mask_ = std::move(mask);
    if (mask_ && mask_->isNull())
        mask_.reset();
    fitMaskToFormat();
    dropMaskWhenAllWatched();
}

void MotionDetector::maskEverything()
{
    if (!format_.isValid())
        return;
    mask_ = GreyBitmap(format_.width, format_.absHeight(), 0);
}

void MotionDetector::markCell(int x, int y, bool watched)
{
    const int width = format_.width;
    const int height = format_.absHeight();
    if (!format_.isValid() || x < 0 || y < 0 || x >= width || y >= height)
        return;
    if (!mask_) {
        if (watched)
            return;
        mask_ = GreyBitmap(width, height, 255);
    }
    const int grid = settings_.gridSize;
    const int x0 = x / grid * grid;
    const int y0 = y / grid * grid;
    const int x1 = std::min(x0 + grid, width);
    const int y1 = std::min(y0 + grid, height);
    for (int row = y0; row < y1; ++row)
        for (int col = x0; col < x1; ++col)
            mask_->at(col, height - 1 - row) = watched ? 255 : 0;
    dropMaskWhenAllWatched();
}

void MotionDetector::dropMaskWhenAllWatched()
{
    if (mask_ && mask_->allPixelsEqual(255))
        mask_.reset();
}

} // namespace vantry::station
