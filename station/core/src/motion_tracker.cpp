#include "station/core/motion_tracker.h"

#include <algorithm>

namespace vantry::station {

MotionTracker::MotionTracker(int cameraIndex, MotionListener* listener)
    : cameraIndex_(cameraIndex)
    , listener_(listener)
{
}

void MotionTracker::setShortMotion(bool ignoreShortMotion, int shortMotionLengthSeconds)
{
    ignoreShortMotion_ = ignoreShortMotion;
    shortMotionLengthSeconds_ = shortMotionLengthSeconds;
}

void MotionTracker::report(MotionEvent event, int64_t value)
{
    if (listener_)
        listener_->onMotionEvent(cameraIndex_, event, static_cast<uint32_t>(value));
}

void MotionTracker::onFrame(bool motion, int64_t t)
{
    if (inMotion_ && t < last_) {
        // The clock was set back (a box without a battery clock syncing after boot): measure
        // the hold and the short-motion limit from now on instead of waiting for the old time
        // to come round again, which would keep an event open for as long as the jump.
        last_ = t;
        start_ = std::min(start_, t);
    }
    if (motion && !inMotion_) {
        inMotion_ = true;
        start_ = t;
        last_ = t;
        periodStart_ = t;
        report(MotionEvent::MotionStarted, t);
        if (!ignoreShortMotion_) {
            report(MotionEvent::EventBegin, t);
            eventRaised_ = true;
        }
    } else if (motion) {
        last_ = t;
        if (blink_) {
            blink_ = false;
            report(MotionEvent::IndicatorBlink, 0);
        }
        if (ignoreShortMotion_ && !eventRaised_ && last_ - start_ > shortMotionLengthSeconds_) {
            report(MotionEvent::EventBegin, start_);
            eventRaised_ = true;
        }
    } else if (inMotion_) {
        if (!blink_) {
            blink_ = true;
            report(MotionEvent::IndicatorBlink, 1);
        }
        if (t - last_ >= kHoldSeconds)
            endPeriod();
    }
}

void MotionTracker::stop()
{
    if (inMotion_)
        endPeriod();
}

void MotionTracker::endPeriod()
{
    report(MotionEvent::MotionIdle, last_);
    if (eventRaised_) {
        report(MotionEvent::EventEnd, last_);
        eventRaised_ = false;
    }
    MotionPeriod period;
    period.start = static_cast<uint32_t>(periodStart_);
    period.end = static_cast<uint32_t>(std::max(last_, periodStart_ + 1));
    periods_.push_back(period);
    inMotion_ = false;
    blink_ = false;
    start_ = 0;
    last_ = 0;
    periodStart_ = 0;
}

void MotionTracker::startNewFile(int64_t fileStartSeconds)
{
    periods_.clear();
    if (inMotion_)
        periodStart_ = fileStartSeconds;
}

} // namespace vantry::station
