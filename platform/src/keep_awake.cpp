#include "platform/keep_awake.h"

namespace vantry::platform {

// No inhibitor is wired yet: headless boxes normally run without suspend, and the desktop
// inhibitor needs D-Bus, which this layer does not link. Callers treat false as "nothing done".
KeepAwake::KeepAwake() = default;

KeepAwake::~KeepAwake()
{
    allowSuspend();
}

bool KeepAwake::refuseSuspend(std::string_view reason)
{
    static_cast<void>(reason);
    suspendRefused_ = false;
    return suspendRefused_;
}

void KeepAwake::allowSuspend()
{
    suspendRefused_ = false;
}

bool KeepAwake::keepDisplayOn()
{
    return false;
}

} // namespace vantry::platform
