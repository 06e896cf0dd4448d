// The system provider against GStreamer's own device monitor: a device provider of the
// test's own, registered with GStreamer, plugs and unplugs a camera the way a USB driver
// would, so arrival, removal and the hand-over to the hub's thread run their real paths.
#include "station/core/camera_channel.h"
#include "station/core/system_device_provider.h"

#include "channel_test_support.h"

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <algorithm>

extern "C" {

struct TestCamDevice {
    GstDevice parent;
};
struct TestCamDeviceClass {
    GstDeviceClass parentClass;
};
G_DEFINE_TYPE(TestCamDevice, test_cam_device, GST_TYPE_DEVICE)

static GstElement* test_cam_device_create_element(GstDevice*, const gchar* name)
{
    GstElement* source = gst_element_factory_make("videotestsrc", name);
    g_object_set(source, "is-live", TRUE, nullptr);
    return source;
}

static void test_cam_device_class_init(TestCamDeviceClass* klass)
{
    GST_DEVICE_CLASS(klass)->create_element = test_cam_device_create_element;
}

static void test_cam_device_init(TestCamDevice*) {}

struct TestCamProvider {
    GstDeviceProvider parent;
};
struct TestCamProviderClass {
    GstDeviceProviderClass parentClass;
};
G_DEFINE_TYPE(TestCamProvider, test_cam_provider, GST_TYPE_DEVICE_PROVIDER)

static GList* test_cam_provider_probe(GstDeviceProvider*) { return nullptr; }
static gboolean test_cam_provider_start(GstDeviceProvider*) { return TRUE; }
static void test_cam_provider_stop(GstDeviceProvider*) {}

static void test_cam_provider_class_init(TestCamProviderClass* klass)
{
    auto* providerClass = GST_DEVICE_PROVIDER_CLASS(klass);
    providerClass->probe = test_cam_provider_probe;
    providerClass->start = test_cam_provider_start;
    providerClass->stop = test_cam_provider_stop;
    gst_device_provider_class_set_static_metadata(providerClass, "Test cameras", "Video/Source", "Cameras on demand",
                                                  "Vantry");
}

static void test_cam_provider_init(TestCamProvider*) {}

static gboolean register_test_cams(GstPlugin* plugin)
{
    return gst_device_provider_register(plugin, "vantrytestcams", GST_RANK_PRIMARY, test_cam_provider_get_type());
}

} // extern "C"

namespace vantry::station {
namespace {

using namespace std::chrono_literals;

GstDeviceProvider* testCams()
{
    static const bool registered = [] {
        gst_init(nullptr, nullptr);
        return gst_plugin_register_static(GST_VERSION_MAJOR, GST_VERSION_MINOR, "vantrytestcams", "Test cameras",
                                          register_test_cams, "1.0", "LGPL", "vantry", "vantry", "vantry");
    }();
    EXPECT_TRUE(registered);
    return gst_device_provider_factory_get_by_name("vantrytestcams");
}

GstDevice* makeCamera(const char* node, const char* name)
{
    GstCaps* caps = gst_caps_from_string("video/x-raw, format=YUY2, width=640, height=480; "
                                         "video/x-raw, format=YUY2, width=320, height=240");
    GstStructure* properties = gst_structure_new("properties", "device.path", G_TYPE_STRING, node, nullptr);
    auto* device = GST_DEVICE(g_object_new(test_cam_device_get_type(), "display-name", name, "device-class",
                                           "Video/Source", "caps", caps, "properties", properties, nullptr));
    gst_caps_unref(caps);
    gst_structure_free(properties);
    return device;
}

class Hub final : public ChannelListener {
public:
    void onGraphFailure(int, const std::string&, const GraphFailure&) override { ++failures; }
    void onVideoDeviceLost(int) override { ++lost; }
    void onVideoDeviceReturned(int) override { ++returned; }
    int failures = 0;
    int lost = 0;
    int returned = 0;
};

bool listed(const SystemDeviceProvider& provider, const std::string& id)
{
    const auto list = provider.devices(DeviceKind::Video);
    return std::any_of(list.begin(), list.end(), [&](const CaptureDevice& d) { return d.displayName == id; });
}

TEST(SystemDeviceProvider, HotPluggedCameraReachesTheChannelOnTheHubThread)
{
    app();
    GstDeviceProvider* cams = testCams();
    ASSERT_NE(cams, nullptr);
    SystemDeviceProvider provider(DemoMode::Off);
    ASSERT_TRUE(provider.isMonitoring());

    Hub hub;
    CameraChannel channel(0, provider, &hub, nullptr);
    ChannelConfig config;
    config.videoDevice = "/dev/video-vantry-test";
    config.capture.width = 320;
    config.capture.height = 240;
    ASSERT_EQ(channel.Init(config), 1);
    EXPECT_FALSE(channel.hasVideoDevice()) << "not plugged in yet";

    GstDevice* camera = makeCamera("/dev/video-vantry-test", "Vantry Test Camera");
    gst_device_provider_device_add(cams, camera); // takes the floating reference
    ASSERT_TRUE(waitFor([&] { return channel.hasVideoDevice(); })) << "arrival not delivered";
    EXPECT_TRUE(listed(provider, "/dev/video-vantry-test"));
    EXPECT_EQ(hub.returned, 1);
    const auto sizes = provider.pictureSizes(CaptureDevice { DeviceKind::Video, "/dev/video-vantry-test", "" });
    EXPECT_EQ(sizes, (std::vector<std::pair<int, int>> { { 640, 480 }, { 320, 240 } }));
    const uint64_t before = channel.frameStore().framesDelivered();
    EXPECT_TRUE(waitFor([&] { return channel.frameStore().framesDelivered() > before + 2; }));

    gst_device_provider_device_remove(cams, camera);
    ASSERT_TRUE(waitFor([&] { return !channel.hasVideoDevice(); })) << "removal not delivered";
    EXPECT_FALSE(listed(provider, "/dev/video-vantry-test"));
    EXPECT_EQ(hub.lost, 1);
    EXPECT_FALSE(channel.isGraphBuilt());
    EXPECT_EQ(hub.failures, 0);
    gst_object_unref(cams);
}

} // namespace
} // namespace vantry::station
