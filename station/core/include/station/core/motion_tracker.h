#pragma once

#include "station/core/motion_events.h"

#include <cstdint>
#include <vector>

namespace vantry::station {

// One motion period as the record file keeps it (three 32-bit words).
struct MotionPeriod {
    uint32_t kind = 0;
    uint32_t start = 0;
    uint32_t end = 0;
    friend bool operator==(const MotionPeriod&, const MotionPeriod&) = default;
};

// Turns motion frames into motion periods: a period opens with the first motion frame,
// stays open while motion comes back within the hold time, and raises the event at once
// or, with ignore-short on, only once it has lasted longer than the short-motion limit.
class MotionTracker {
public:
    static constexpr int64_t kHoldSeconds = 5;

    MotionTracker(int cameraIndex, MotionListener* listener);

    void setShortMotion(bool ignoreShortMotion, int shortMotionLengthSeconds);

    // One processed frame with its time stamp (whole seconds).
    void onFrame(bool motion, int64_t frameTimeSeconds);

    // Detection stopped: an open period ends at once (EventEnd when its event was raised,
    // then MotionIdle) and is kept in the period list.
    void stop();

    bool inMotion() const { return inMotion_; }
    bool eventRaised() const { return eventRaised_; }
    int64_t motionStart() const { return start_; }
    int64_t lastMotion() const { return last_; }

    // The periods of the current record file; a new file starts an empty list, and a motion
    // still going on continues as a new period from the file's start.
    const std::vector<MotionPeriod>& periods() const { return periods_; }
    void startNewFile(int64_t fileStartSeconds);

private:
    void report(MotionEvent event, int64_t value);
    void endPeriod();

    int cameraIndex_;
    MotionListener* listener_;
    bool ignoreShortMotion_ = false;
    int64_t shortMotionLengthSeconds_ = 1;
    bool inMotion_ = false;
    bool eventRaised_ = false;
    bool blink_ = false;
    int64_t start_ = 0;
    int64_t last_ = 0;
    int64_t periodStart_ = 0;
    std::vector<MotionPeriod> periods_;
};

} // namespace vantry::station
