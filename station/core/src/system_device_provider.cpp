#include "station/core/system_device_provider.h"

#include "gst_support.h"
#include "station/core/demo_devices.h"

#include <QMetaObject>
#include <QObject>

#include <filesystem>

namespace vantry::station {

namespace {

std::string stringProperty(const GstStructure* properties, const char* key)
{
    const char* value = properties ? gst_structure_get_string(properties, key) : nullptr;
    return value ? value : "";
}

// A camera's stable name: its /dev/v4l/by-id link when one points at the node (it survives
// re-plugging into another port), else the node itself.
std::string stableVideoPath(const std::string& node)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path byId("/dev/v4l/by-id");
    if (!node.empty() && fs::is_directory(byId, ec)) {
        const fs::path target = fs::canonical(node, ec);
        for (const auto& entry : fs::directory_iterator(byId, ec)) {
            std::error_code linkError;
            if (!target.empty() && fs::canonical(entry.path(), linkError) == target)
                return entry.path().string();
        }
    }
    return node;
}

} // namespace

SystemDeviceProvider::SystemDeviceProvider(DemoMode demo)
    : demo_(demo)
    , context_(std::make_unique<QObject>())
{
    if (!ensureGStreamer())
        return;
    monitor_ = gst_device_monitor_new();
    GstCaps* videoCaps = gst_caps_from_string("video/x-raw; image/jpeg");
    GstCaps* audioCaps = gst_caps_from_string("audio/x-raw");
    gst_device_monitor_add_filter(monitor_, "Video/Source", videoCaps);
    gst_device_monitor_add_filter(monitor_, "Audio/Source", audioCaps);
    gst_caps_unref(videoCaps);
    gst_caps_unref(audioCaps);

    GstBus* bus = gst_device_monitor_get_bus(monitor_);
    gst_bus_set_sync_handler(bus, reinterpret_cast<GstBusSyncHandler>(&SystemDeviceProvider::onBusMessage), this,
                             nullptr);
    gst_object_unref(bus);

    monitoring_ = gst_device_monitor_start(monitor_);
    if (!monitoring_)
        return;
    GList* list = gst_device_monitor_get_devices(monitor_);
    for (GList* item = list; item; item = item->next) {
        auto* device = GST_DEVICE(item->data);
        handleDevice(DeviceChange::Added, device);
        gst_object_unref(device);
    }
    g_list_free(list);
}

SystemDeviceProvider::~SystemDeviceProvider()
{
    if (monitor_) {
        if (monitoring_)
            gst_device_monitor_stop(monitor_);
        GstBus* bus = gst_device_monitor_get_bus(monitor_);
        gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
        gst_object_unref(bus);
        gst_object_unref(monitor_);
    }
    for (auto& entry : entries_)
        gst_object_unref(entry.gstDevice);
}

bool SystemDeviceProvider::describe(GstDevice* device, CaptureDevice* out)
{
    out->kind = gst_device_has_classes(device, "Video/Source") ? DeviceKind::Video : DeviceKind::Audio;
    gchar* name = gst_device_get_display_name(device);
    out->friendlyName = name ? name : "";
    g_free(name);

    GstStructure* properties = gst_device_get_properties(device);
    std::string id;
    if (out->kind == DeviceKind::Video) {
        std::string node = stringProperty(properties, "api.v4l2.path");
        if (node.empty())
            node = stringProperty(properties, "device.path");
        if (!node.empty())
            id = stableVideoPath(node);
    }
    for (const char* key : { "node.name", "device.name", "alsa.card_name", "device.path" }) {
        if (!id.empty())
            break;
        id = stringProperty(properties, key);
    }
    if (properties)
        gst_structure_free(properties);
    if (id.empty() && g_object_class_find_property(G_OBJECT_GET_CLASS(device), "internal-name")) {
        gchar* internal = nullptr;
        g_object_get(device, "internal-name", &internal, nullptr);
        id = internal ? internal : "";
        g_free(internal);
    }
    if (id.empty())
        id = out->friendlyName;
    out->displayName = id;
    return !id.empty();
}

int SystemDeviceProvider::onBusMessage(GstBus*, GstMessage* message, void* self)
{
    auto* provider = static_cast<SystemDeviceProvider*>(self);
    DeviceChange change;
    GstDevice* device = nullptr;
    switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_DEVICE_ADDED:
        change = DeviceChange::Added;
        gst_message_parse_device_added(message, &device);
        break;
    case GST_MESSAGE_DEVICE_REMOVED:
        change = DeviceChange::Removed;
        gst_message_parse_device_removed(message, &device);
        break;
    default:
        gst_message_unref(message);
        return GST_BUS_DROP;
    }
    // Monitor threads never touch the channels: the change is handled on the hub's thread.
    QMetaObject::invokeMethod(
        provider->context_.get(),
        [provider, change, device] {
            provider->handleDevice(change, device);
            gst_object_unref(device);
        },
        Qt::QueuedConnection);
    gst_message_unref(message);
    return GST_BUS_DROP;
}

void SystemDeviceProvider::handleDevice(DeviceChange change, GstDevice* gstDevice)
{
    CaptureDevice device;
    if (!describe(gstDevice, &device))
        return;
    {
        std::lock_guard lock(mutex_);
        if (change == DeviceChange::Added) {
            for (const auto& entry : entries_)
                if (entry.device.displayName == device.displayName && entry.device.kind == device.kind)
                    return;
            entries_.push_back({ device, GST_DEVICE(gst_object_ref(gstDevice)) });
        } else {
            bool found = false;
            for (auto it = entries_.begin(); it != entries_.end(); ++it) {
                if (it->gstDevice == gstDevice
                    || (it->device.displayName == device.displayName && it->device.kind == device.kind)) {
                    gst_object_unref(it->gstDevice);
                    entries_.erase(it);
                    found = true;
                    break;
                }
            }
            if (!found)
                return;
        }
    }
    notify(change, device);
}

std::vector<CaptureDevice> SystemDeviceProvider::devices(DeviceKind kind) const
{
    std::vector<CaptureDevice> list;
    {
        std::lock_guard lock(mutex_);
        for (const auto& entry : entries_)
            if (entry.device.kind == kind)
                list.push_back(entry.device);
    }
    if (demo_ == DemoMode::On)
        for (auto& device : demoDevices(kind))
            list.push_back(std::move(device));
    return list;
}

std::vector<std::pair<int, int>> SystemDeviceProvider::pictureSizes(const CaptureDevice& device) const
{
    if (demo_ == DemoMode::On && isDemoDevice(device))
        return demoPictureSizes();
    std::vector<std::pair<int, int>> sizes;
    std::lock_guard lock(mutex_);
    for (const auto& entry : entries_) {
        if (entry.device.kind != DeviceKind::Video || entry.device.displayName != device.displayName)
            continue;
        GstCaps* caps = gst_device_get_caps(entry.gstDevice);
        if (!caps)
            break;
        // Every raw size counts: the graph converts any colour format into the chosen one.
        for (guint i = 0; i < gst_caps_get_size(caps); ++i) {
            const GstStructure* s = gst_caps_get_structure(caps, i);
            int width = 0;
            int height = 0;
            if (gst_structure_has_name(s, "video/x-raw") && gst_structure_get_int(s, "width", &width)
                && gst_structure_get_int(s, "height", &height))
                sizes.emplace_back(width, height);
        }
        gst_caps_unref(caps);
        break;
    }
    return sizes;
}

GstElement* SystemDeviceProvider::createSource(const CaptureDevice& device)
{
    if (demo_ == DemoMode::On && isDemoDevice(device))
        return createDemoSource(device);
    GstDevice* gstDevice = nullptr;
    {
        std::lock_guard lock(mutex_);
        for (const auto& entry : entries_)
            if (entry.device.kind == device.kind && entry.device.displayName == device.displayName)
                gstDevice = GST_DEVICE(gst_object_ref(entry.gstDevice));
    }
    if (!gstDevice)
        return nullptr;
    GstElement* element = gst_device_create_element(gstDevice, nullptr);
    gst_object_unref(gstDevice);
    return element;
}

} // namespace vantry::station
