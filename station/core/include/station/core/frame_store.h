#pragma once

#include "station/core/clock.h"
#include "station/core/video_format.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

namespace vantry::station {

// Identifies a stored frame: the second it arrived in and its count within that second.
struct FrameStamp {
    int64_t second = -1;
    uint32_t counter = 0;
    friend bool operator==(const FrameStamp&, const FrameStamp&) = default;
};

// The newest captured frame of one camera. The capture thread overwrites it; consumers
// (motion analysis, snapshots, the frame link) copy it out under the lock and process their
// copy, so a slow consumer only misses frames and never holds up capture.
class FrameStore {
public:
    static constexpr std::chrono::milliseconds kDefaultWait { 2000 };

    explicit FrameStore(const Clock& clock = SystemClock::instance());

    FrameStore(const FrameStore&) = delete;
    FrameStore& operator=(const FrameStore&) = delete;

    // The picture format of the frames that follow (set when a graph is built).
    void setFormat(const FrameFormat& format);
    FrameFormat format() const;

    // Sample callback, on a streaming thread: keep a copy and stamp it. Grows the buffer only
    // when the sample is larger than any before. A frame in a new format brings its format
    // along, so that no consumer ever sees a frame with another frame's format.
    void deliver(const uint8_t* data, size_t size, const FrameFormat* format = nullptr);

    // GetNewest: when no frame arrived since the last Reset, waits up to `wait` for one.
    // Returns 0 when there is still none or when the newest frame carries lastSeen's stamp;
    // otherwise the frame's byte count, with lastSeen updated and, when dest is given, the
    // bytes copied into it (and the format they are in into format).
    size_t GetNewest(std::vector<uint8_t>* dest, FrameStamp& lastSeen, std::chrono::milliseconds wait = kDefaultWait,
                     FrameFormat* format = nullptr);

    // Bytes of the newest frame (0 before the first).
    size_t Size() const;
    FrameStamp newestStamp() const;

    // A consumer begins: forget the new-frame signal so that its first GetNewest waits for a
    // fresh frame. Release ends it.
    void Reset();
    void Release();
    int users() const;

    // Frames delivered since construction (diagnostics and tests).
    uint64_t framesDelivered() const;

private:
    const Clock& clock_;
    mutable std::mutex mutex_;
    std::condition_variable newFrame_;
    FrameFormat format_;
    std::vector<uint8_t> buffer_;
    size_t size_ = 0;
    FrameStamp stamp_;
    bool signalled_ = false;
    int users_ = 0;
    uint64_t delivered_ = 0;
};

} // namespace vantry::station
