// Keeping a box awake while it watches: the display on and suspend refused. Best effort:
// where the desktop offers no way (or it is not built yet), the calls do nothing and say so.
#pragma once

#include <memory>
#include <string_view>

namespace vantry::platform {

class KeepAwake {
public:
    KeepAwake();
    ~KeepAwake();
    KeepAwake(const KeepAwake&) = delete;
    KeepAwake& operator=(const KeepAwake&) = delete;

    // Asks the system not to suspend while this object holds the request; true when a
    // request is in place.
    bool refuseSuspend(std::string_view reason);
    void allowSuspend();
    // Resets the display's idle timer once (called periodically); true when something did it.
    bool keepDisplayOn();
    bool suspendRefused() const { return suspendRefused_; }

private:
    bool suspendRefused_ = false;
};

} // namespace vantry::platform
