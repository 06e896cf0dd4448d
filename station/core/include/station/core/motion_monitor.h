#pragma once

#include "station/core/frame_store.h"
#include "station/core/motion_detector.h"
#include "station/core/motion_events.h"
#include "station/core/motion_tracker.h"

#include <functional>
#include <vector>

namespace vantry::station {

// Motion analysis of one camera: takes the newest frame from the camera's frame store at
// each tick of the hub's 200 ms timer, runs the detector on it and the tracker on the result.
class MotionMonitor {
public:
    static constexpr int kTickIntervalMs = 200;

    // Called for every frame a slot processed, for the mask editor and the options dialog.
    using FrameObserver = std::function<void(DetectionSlot slot, bool motion)>;

    MotionMonitor(int cameraIndex, FrameStore& store, MotionListener* listener);

    MotionDetector& detector() { return detector_; }
    const MotionDetector& detector() const { return detector_; }
    MotionTracker& tracker() { return tracker_; }
    const MotionTracker& tracker() const { return tracker_; }

    // Start detection: hands the detector the store's current format and arms the live slot;
    // 1 on success (also when already active), 0 when no picture format is known yet.
    int startDetection(DetectionSlot slot = DetectionSlot::Live);
    // Stop detection: an open motion period ends at once.
    void stopDetection(DetectionSlot slot = DetectionSlot::Live);
    bool isDetectionActive(DetectionSlot slot = DetectionSlot::Live) const { return detector_.isActive(slot); }

    // One tick: never waits for a frame (the hub's thread must not block); a frame already
    // processed is not processed again. Returns true when a frame was processed.
    bool tick(DetectionSlot slot = DetectionSlot::Live);

    // Options exchange; writing also refreshes the tracker's ignore-short copies.
    MotionOptions options() const { return detector_.options(); }
    int setOptions(const MotionOptions& options);
    void loadSettings(const MotionSettings& settings);

    void setFrameObserver(FrameObserver observer) { observer_ = std::move(observer); }

private:
    FrameStore& store_;
    MotionDetector detector_;
    MotionTracker tracker_;
    FrameObserver observer_;
    FrameStamp lastStamp_[2];
    std::vector<uint8_t> frame_;
};

} // namespace vantry::station
