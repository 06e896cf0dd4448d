#pragma once

#include <string>
#include <utility>
#include <vector>

typedef struct _GstElement GstElement;

namespace vantry::station {

enum class DeviceKind { Video, Audio };
enum class DeviceChange { Added, Removed };

// A capture device as the station stores and shows it: displayName is the stable identifier
// kept in the settings (VideoDevice, AudioDevice), friendlyName what the user reads.
struct CaptureDevice {
    DeviceKind kind = DeviceKind::Video;
    std::string displayName;
    std::string friendlyName;
    friend bool operator==(const CaptureDevice&, const CaptureDevice&) = default;
};

class DeviceListener {
public:
    virtual ~DeviceListener() = default;
    // Delivered on the thread that owns the provider (the hub's thread).
    virtual void onDeviceChanged(DeviceChange change, const CaptureDevice& device) = 0;
};

// Where channels find their devices and make source elements for them. The system provider
// watches the machine's cameras and microphones; tests use a provider of their own.
class DeviceProvider {
public:
    virtual ~DeviceProvider() = default;

    virtual std::vector<CaptureDevice> devices(DeviceKind kind) const = 0;
    // A new source element for the device (floating reference), or nullptr when the device
    // is gone or cannot be opened.
    virtual GstElement* createSource(const CaptureDevice& device) = 0;
    // The picture sizes (width, height) the device can deliver; empty when not known.
    virtual std::vector<std::pair<int, int>> pictureSizes(const CaptureDevice& /*device*/) const { return {}; }

    void addListener(DeviceListener* listener);
    void removeListener(DeviceListener* listener);

    // The device of that kind with this display name, if it is present.
    bool find(DeviceKind kind, const std::string& displayName, CaptureDevice* found = nullptr) const;

protected:
    void notify(DeviceChange change, const CaptureDevice& device);

private:
    std::vector<DeviceListener*> listeners_;
};

} // namespace vantry::station
