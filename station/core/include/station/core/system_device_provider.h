#pragma once

#include "station/core/capture_device.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

typedef struct _GstDevice GstDevice;
typedef struct _GstDeviceMonitor GstDeviceMonitor;
typedef struct _GstBus GstBus;
typedef struct _GstMessage GstMessage;

class QObject;

namespace vantry::station {

enum class DemoMode { Off, On };

// The machine's cameras and microphones through GStreamer's device monitor, plus the demo
// devices in demo mode. Arrivals and removals reach the listeners on the thread that
// created the provider (it must run a Qt event loop).
class SystemDeviceProvider final : public DeviceProvider {
public:
    explicit SystemDeviceProvider(DemoMode demo);
    ~SystemDeviceProvider() override;

    SystemDeviceProvider(const SystemDeviceProvider&) = delete;
    SystemDeviceProvider& operator=(const SystemDeviceProvider&) = delete;

    std::vector<CaptureDevice> devices(DeviceKind kind) const override;
    GstElement* createSource(const CaptureDevice& device) override;
    std::vector<std::pair<int, int>> pictureSizes(const CaptureDevice& device) const override;

    // Whether the monitor runs (false on a machine where GStreamer has no device providers).
    bool isMonitoring() const { return monitoring_; }

private:
    struct Entry {
        CaptureDevice device;
        GstDevice* gstDevice = nullptr;
    };

    static int onBusMessage(GstBus* bus, GstMessage* message, void* self);
    void handleDevice(DeviceChange change, GstDevice* device);
    static bool describe(GstDevice* device, CaptureDevice* out);

    DemoMode demo_;
    bool monitoring_ = false;
    GstDeviceMonitor* monitor_ = nullptr;
    std::unique_ptr<QObject> context_;
    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
};

} // namespace vantry::station
