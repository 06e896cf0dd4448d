#pragma once

#include "station/core/video_format.h"

#include <cstdint>

namespace vantry::station {

// The four frame links to the stream server (shared memory and the server's messages), as
// the hub drives them. Implemented by the frame-link side; every call comes on the hub's
// thread.
class FrameLinkControl {
public:
    virtual ~FrameLinkControl() = default;

    // Messages of the stream server for one camera's link (camera already checked to be
    // 0..3): 32792 (PTZ), 32799 (wants the camera), 32800 (releases it), 32801 (registers;
    // the hub passes it to all four links).
    virtual void serverMessage(int cameraIndex, uint32_t msg, uint32_t wParam, int32_t lParam) = 0;
    // A camera's capture graph has this picture format.
    virtual void frameFormat(int cameraIndex, const FrameFormat& format) = 0;
    // A camera's event began (true) or ended (false).
    virtual void eventState(int cameraIndex, bool inEvent) = 0;
    // Command 32860: serving was switched; the server gets the settings again.
    virtual void servingChanged(bool serving) = 0;
};

} // namespace vantry::station
