#include "station/core/capture_device.h"

#include <algorithm>

namespace vantry::station {

void DeviceProvider::addListener(DeviceListener* listener)
{
    if (listener && std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end())
        listeners_.push_back(listener);
}

void DeviceProvider::removeListener(DeviceListener* listener)
{
    listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

bool DeviceProvider::find(DeviceKind kind, const std::string& displayName, CaptureDevice* found) const
{
    if (displayName.empty())
        return false;
    for (const auto& device : devices(kind)) {
        if (device.displayName == displayName) {
            if (found)
                *found = device;
            return true;
        }
    }
    return false;
}

void DeviceProvider::notify(DeviceChange change, const CaptureDevice& device)
{
    // A listener may remove itself while being told; walk a copy.
    const auto listeners = listeners_;
    for (auto* listener : listeners)
        if (std::find(listeners_.begin(), listeners_.end(), listener) != listeners_.end())
            listener->onDeviceChanged(change, device);
}

} // namespace vantry::station
