#pragma once

#include "common/frame_channel.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace vantry::server {

// Picture layouts the server takes from the station, named after their media subtypes.
enum class SourceLayout { Unknown, I420, YV12, YUY2, YVU9, RGB24, RGB32, RGB555 };

// A camera's picture format as the station gave it, checked: a layout the server converts, a
// size the encoder may take, and a frame size that really holds such a picture.
struct CameraFormat {
    common::FrameBitmapHeader header;
    SourceLayout layout = SourceLayout::Unknown;
    int width = 0;
    int height = 0;            // rows, always positive
    bool bottomUp = false;     // RGB with a positive header height
    uint32_t frameBytes = 0;   // biSizeImage: a record of this length is a picture
};

SourceLayout layoutOfSubtype(const common::SubtypeGuid& subtype);
// Bytes a picture of this layout and size needs at least (0 when the size does not suit the
// layout, e.g. odd sizes for 4:2:0).
size_t requiredFrameBytes(SourceLayout layout, int width, int height, int bitCount);
// The checked format of a format block, or nullopt when the block is foreign, the layout
// unknown or the sizes impossible.
std::optional<CameraFormat> cameraFormatOf(const common::FormatBlock& block);

// One camera's end of the frame channel on the server: the record's reader, whether the
// station streams it (active) and offers it, and its last accepted picture format. Used by the
// main thread (mailbox reads) and by every pump of the camera (pictures); one lock makes
// their reads of the shared record take turns.
class CameraReader {
public:
    explicit CameraReader(int cameraIndex);

    int cameraIndex() const { return cameraIndex_; }
    void setActive(bool active) { active_ = active; }
    bool isActive() const { return active_; }
    void setOffered(bool offered) { offered_ = offered; }
    bool isOffered() const { return offered_; }

    // Mailbox: the record's data as it is now (nullopt when it cannot be read).
    std::optional<std::vector<uint8_t>> readMailbox();
    // 0x802F: reads the format block; a usable one becomes the camera's format (true).
    bool readFormat();
    std::optional<CameraFormat> format() const;

    // Pictures, only while active: the stamps of the record when it holds a picture of
    // `frameBytes`, without copying; then the copy.
    bool peekPicture(uint32_t frameBytes, common::FrameStamps* stamps);
    bool readPicture(uint8_t* buffer, uint32_t frameBytes, common::FrameStamps* stamps);

    std::string lastError() const;

private:
    const int cameraIndex_;
    std::atomic<bool> active_ { false };
    std::atomic<bool> offered_ { false };
    mutable std::mutex mutex_;
    common::FrameChannelReader reader_;
    std::optional<CameraFormat> format_;
};

} // namespace vantry::server
