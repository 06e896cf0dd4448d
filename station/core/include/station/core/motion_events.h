#pragma once

#include <cstdint>

namespace vantry::station {

// What the motion analysis tells the hub. The hub maps each to its message (and the
// camera word): the detector never calls the recorder or the notifier itself.
enum class MotionEvent {
    MotionStarted, // 32780, value = motion start time (s): detection light "motion"
    IndicatorBlink, // 32781, value = 1 (blink) or 0 (steady motion)
    MotionIdle,    // 32782, value = last motion time (s): detection light "idle"
    EventBegin,    // 32787, value = event time (s)
    EventEnd,      // 32788, value = event end time (s)
};

// Message numbers of the hub's table, kept beside the enum they stand for.
constexpr uint32_t messageOf(MotionEvent event)
{
    switch (event) {
    case MotionEvent::MotionStarted: return 32780;
    case MotionEvent::IndicatorBlink: return 32781;
    case MotionEvent::MotionIdle: return 32782;
    case MotionEvent::EventBegin: return 32787;
    case MotionEvent::EventEnd: return 32788;
    }
    return 0;
}

class MotionListener {
public:
    virtual ~MotionListener() = default;
    virtual void onMotionEvent(int cameraIndex, MotionEvent event, uint32_t value) = 0;
};

} // namespace vantry::station
