// Mask files come from disk and may be damaged or hand-made: parsing one, fitting it to a
// frame and detecting through it must never read or write out of bounds.
#include "station/core/grey_bitmap.h"
#include "station/core/motion_detector.h"

#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace vantry::station;
    const auto mask = GreyBitmap::fromFileBytes(std::span<const uint8_t>(data, size));
    if (!mask)
        return 0;
    // A parsed mask writes back to the same pixels.
    const auto again = GreyBitmap::fromFileBytes(mask->fileBytes());
    if (!again || !(*again == *mask))
        std::abort();

    // Fit it to a frame of another size, as a camera with a new picture size would.
    const int width = 8 + static_cast<int>(size % 57);
    const int height = 4 + static_cast<int>(size % 31);
    MotionDetector detector;
    detector.setFrameFormat(makeFrameFormat(VideoSubtype::I420, width, height));
    detector.setMask(*mask);
    if (detector.mask() && (detector.mask()->width() != width || detector.mask()->height() != height))
        std::abort();
    detector.startSlot(DetectionSlot::Live);
    const std::vector<uint8_t> frame(makeFrameFormat(VideoSubtype::I420, width, height).imageSize, 200);
    detector.processFrame(DetectionSlot::Live, frame.data(), frame.size());
    detector.processFrame(DetectionSlot::Live, frame.data(), frame.size());
    return 0;
}
