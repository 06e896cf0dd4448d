#include "station/core/motion_monitor.h"

namespace vantry::station {

MotionMonitor::MotionMonitor(int cameraIndex, FrameStore& store, MotionListener* listener)
    : store_(store)
    , tracker_(cameraIndex, listener)
{
}

int MotionMonitor::startDetection(DetectionSlot slot)
{
    if (detector_.isActive(slot))
        return 1;
    const FrameFormat format = store_.format();
    if (format != detector_.frameFormat())
        detector_.setFrameFormat(format);
    if (!detector_.startSlot(slot))
        return 0;
    store_.Reset();
    lastStamp_[static_cast<int>(slot)] = FrameStamp {};
    return 1;
}

void MotionMonitor::stopDetection(DetectionSlot slot)
{
    if (!detector_.isActive(slot))
        return;
    detector_.stopSlot(slot);
    store_.Release();
    if (slot == DetectionSlot::Live)
        tracker_.stop();
}

bool MotionMonitor::tick(DetectionSlot slot)
{
    if (!detector_.isActive(slot))
        return false;
    FrameStamp& last = lastStamp_[static_cast<int>(slot)];
    FrameFormat format;
    const size_t bytes = store_.GetNewest(&frame_, last, std::chrono::milliseconds(0), &format);
    if (bytes == 0)
        return false;
    if (format != detector_.frameFormat())
        detector_.setFrameFormat(format);
    const bool motion = detector_.processFrame(slot, frame_.data(), bytes);
    if (slot == DetectionSlot::Live)
        tracker_.onFrame(motion, last.second);
    if (observer_)
        observer_(slot, motion);
    return true;
}

int MotionMonitor::setOptions(const MotionOptions& options)
{
    if (!detector_.setOptions(options))
        return 0;
    tracker_.setShortMotion(options.ignoreShortMotion, options.shortMotionLengthSeconds);
    return 1;
}

void MotionMonitor::loadSettings(const MotionSettings& settings)
{
    detector_.loadSettings(settings);
    const MotionSettings& s = detector_.settings();
    tracker_.setShortMotion(s.ignoreShortMotion, s.shortMotionLengthSeconds);
}

} // namespace vantry::station
