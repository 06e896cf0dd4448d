#include "station/core/camera_channel.h"
#include "station/core/demo_devices.h"
#include "station/core/system_device_provider.h"

#include "channel_test_support.h"

#include <QCoreApplication>

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

namespace vantry::station {

using namespace std::chrono_literals;

QCoreApplication& app()
{
    static int argc = 1;
    static char name[] = "station_core_channel_test";
    static char* argv[] = { name, nullptr };
    static QCoreApplication* instance = new QCoreApplication(argc, argv);
    return *instance;
}

// Runs the event loop until the condition holds or the time is up.
bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        QCoreApplication::processEvents();
        if (condition())
            return true;
        std::this_thread::sleep_for(10ms);
    }
    return condition();
}

namespace {

// Devices that come and go at the test's command. Sources are test patterns.
class TestDeviceProvider final : public DeviceProvider {
public:
    TestDeviceProvider()
    {
        present_ = { camera("test:camera:A", "Test Camera A"), camera("test:camera:B", "Test Camera B"),
                     camera("test:broken", "Broken Camera"), camera("test:flaky", "Flaky Camera"),
                     camera("test:busy", "Busy Camera") };
        present_.push_back(demoDevices(DeviceKind::Audio).front());
    }

    static CaptureDevice camera(const std::string& id, const std::string& friendly)
    {
        return CaptureDevice { DeviceKind::Video, id, friendly };
    }

    std::vector<CaptureDevice> devices(DeviceKind kind) const override
    {
        std::vector<CaptureDevice> list;
        std::copy_if(present_.begin(), present_.end(), std::back_inserter(list),
                     [kind](const CaptureDevice& d) { return d.kind == kind; });
        return list;
    }

    GstElement* createSource(const CaptureDevice& device) override
    {
        if (std::find(present_.begin(), present_.end(), device) == present_.end() || device.displayName == "test:broken")
            return nullptr;
        if (device.kind == DeviceKind::Audio)
            return createDemoSource(device);
        if (device.displayName == "test:busy") // cannot be opened, as when another program holds it
            return gst_parse_bin_from_description("filesrc location=/nonexistent/video", TRUE, nullptr);
        if (device.displayName == "test:flaky") // stops after a second, as a failing driver would
            return gst_parse_bin_from_description("videotestsrc is-live=true num-buffers=15", TRUE, nullptr);
        return gst_parse_bin_from_description("videotestsrc is-live=true pattern=ball", TRUE, nullptr);
    }

    void unplug(const std::string& id)
    {
        const auto it = std::find_if(present_.begin(), present_.end(), [&](const auto& d) { return d.displayName == id; });
        ASSERT_NE(it, present_.end());
        const CaptureDevice gone = *it;
        present_.erase(it);
        notify(DeviceChange::Removed, gone);
    }

    void plug(const CaptureDevice& device)
    {
        present_.push_back(device);
        notify(DeviceChange::Added, device);
    }

private:
    std::vector<CaptureDevice> present_;
};

class Hub final : public ChannelListener, public MotionListener {
public:
    void onGraphFailure(int, const std::string& step, const GraphFailure& failure) override
    {
        failures.push_back(step + " " + std::to_string(failure.code));
    }
    void onVideoDeviceLost(int) override { ++lost; }
    void onVideoDeviceReturned(int) override { ++returned; }
    void onFrameFormat(int, const FrameFormat& format) override { lastFormat = format; }
    void onMotionEvent(int, MotionEvent event, uint32_t) override { motion.push_back(event); }

    std::vector<std::string> failures;
    std::vector<MotionEvent> motion;
    int lost = 0;
    int returned = 0;
    FrameFormat lastFormat;
};

// A recording branch that only counts what reaches it, standing in for the encoder.
class CountingBranch final : public RecordingBranch {
public:
    GstElement* createVideoBranch(const FrameFormat&) override { return counter(&videoBuffers); }
    GstElement* createAudioBranch(int, int, int) override { return counter(&audioBuffers); }

    std::atomic<int> videoBuffers { 0 };
    std::atomic<int> audioBuffers { 0 };

private:
    static GstElement* counter(std::atomic<int>* count)
    {
        GstElement* sink = gst_element_factory_make("fakesink", nullptr);
        g_object_set(sink, "signal-handoffs", TRUE, "sync", FALSE, nullptr);
        g_signal_connect(sink, "handoff", G_CALLBACK(+[](GstElement*, GstBuffer*, GstPad*, gpointer data) {
                             ++*static_cast<std::atomic<int>*>(data);
                         }),
                         count);
        return sink;
    }
};

ChannelConfig configFor(const std::string& video, const std::string& audio = {})
{
    ChannelConfig config;
    config.videoDevice = video;
    config.audioDevice = audio;
    config.subtype = VideoSubtype::I420;
    config.capture.width = 320;
    config.capture.height = 240;
    config.capture.frameRate = 15;
    return config;
}

class CameraChannelTest : public ::testing::Test {
protected:
    void SetUp() override { app(); }
    bool framesArrive(CameraChannel& channel, uint64_t count = 3)
    {
        const uint64_t before = channel.frameStore().framesDelivered();
        return waitFor([&] { return channel.frameStore().framesDelivered() >= before + count; });
    }

    TestDeviceProvider provider;
    Hub hub;
};

TEST_F(CameraChannelTest, DemoCamerasAreOfferedOnlyInDemoMode)
{
    SystemDeviceProvider demo(DemoMode::On);
    SystemDeviceProvider plain(DemoMode::Off);
    std::vector<std::string> names;
    for (const auto& d : demo.devices(DeviceKind::Video))
        names.push_back(d.friendlyName);
    for (const char* expected : { "Demo Camera 1", "Demo Camera 2", "Demo Camera 3", "Demo Camera 4" })
        EXPECT_NE(std::find(names.begin(), names.end(), expected), names.end()) << expected;
    const auto mics = demo.devices(DeviceKind::Audio);
    EXPECT_TRUE(std::any_of(mics.begin(), mics.end(), [](const auto& d) { return d.friendlyName == "Demo Microphone 4"; }));
    for (auto kind : { DeviceKind::Video, DeviceKind::Audio })
        for (const auto& d : plain.devices(kind))
            EXPECT_FALSE(isDemoDevice(d)) << d.friendlyName;
    EXPECT_EQ(plain.createSource(demoDevices(DeviceKind::Video).front()), nullptr);
}

TEST_F(CameraChannelTest, DemoCameraDeliversFramesAndMotionIsDetected)
{
    SystemDeviceProvider demo(DemoMode::On);
    CameraChannel channel(0, demo, &hub, &hub);
    ASSERT_EQ(channel.Init(configFor(demoDevices(DeviceKind::Video).front().displayName)), 1);
    ASSERT_TRUE(channel.hasVideoDevice());
    EXPECT_TRUE(channel.isPreviewRunning());
    ASSERT_TRUE(framesArrive(channel)) << "no frames from the demo camera";

    const FrameFormat format = channel.frameStore().format();
    EXPECT_EQ(format.subtype, VideoSubtype::IYUV) << "I420 is reported as IYUV";
    EXPECT_EQ(format.width, 320);
    EXPECT_EQ(format.height, 240);
    EXPECT_EQ(channel.frameStore().Size(), 320u * 240u * 3u / 2u);
    EXPECT_EQ(hub.lastFormat, format);

    ASSERT_EQ(channel.motion().startDetection(), 1);
    EXPECT_TRUE(waitFor([&] {
        channel.motion().tick();
        return !hub.motion.empty();
    })) << "the moving pattern must trigger detection";
    EXPECT_EQ(hub.motion.front(), MotionEvent::MotionStarted);
    EXPECT_TRUE(hub.failures.empty()) << hub.failures.front();
}

TEST_F(CameraChannelTest, RgbFramesAreStoredTopDownAndStillDetected)
{
    CameraChannel channel(1, provider, &hub, &hub);
    ChannelConfig config = configFor("test:camera:A");
    config.subtype = VideoSubtype::RGB24;
    config.capture.width = 322; // 966 bytes a row: padded to 968
    ASSERT_EQ(channel.Init(config), 1);
    ASSERT_TRUE(framesArrive(channel));
    const FrameFormat format = channel.frameStore().format();
    EXPECT_EQ(format.subtype, VideoSubtype::RGB24);
    EXPECT_EQ(format.height, -240);
    EXPECT_EQ(channel.frameStore().Size(), 968u * 240u);
    ASSERT_EQ(channel.motion().startDetection(), 1);
    EXPECT_TRUE(waitFor([&] {
        channel.motion().tick();
        return !hub.motion.empty();
    }));
}

TEST_F(CameraChannelTest, UnpluggedCameraLeavesTheChannelWithoutDeviceAndDetection)
{
    CameraChannel channel(0, provider, &hub, &hub);
    ASSERT_EQ(channel.Init(configFor("test:camera:A", "demo:microphone:1")), 1);
    ASSERT_TRUE(channel.hasAudioDevice());
    ASSERT_TRUE(framesArrive(channel));
    ASSERT_EQ(channel.motion().startDetection(), 1);
    waitFor([&] {
        channel.motion().tick();
        return channel.motion().tracker().inMotion();
    });

    provider.unplug("test:camera:A");
    EXPECT_FALSE(channel.hasVideoDevice());
    EXPECT_FALSE(channel.hasAudioDevice());
    EXPECT_FALSE(channel.isGraphBuilt());
    EXPECT_FALSE(channel.motion().isDetectionActive());
    EXPECT_FALSE(channel.motion().tracker().inMotion()) << "the open motion period ended with the device";
    EXPECT_EQ(hub.lost, 1);
    EXPECT_EQ(channel.configuredVideoDevice(), "test:camera:A") << "the assignment survives the unplug";
    EXPECT_EQ(channel.ChooseDevices("test:camera:A", {}), 1);
    EXPECT_FALSE(channel.hasVideoDevice()) << "an absent device cannot be chosen";

    // Back again: the channel takes its camera up by itself and the hub re-applies its state.
    provider.plug(TestDeviceProvider::camera("test:camera:A", "Test Camera A"));
    EXPECT_TRUE(channel.hasVideoDevice());
    EXPECT_EQ(hub.returned, 1);
    EXPECT_TRUE(channel.isPreviewRunning());
    EXPECT_TRUE(framesArrive(channel));

    // Another camera's unplug does not concern this channel.
    provider.unplug("test:camera:B");
    EXPECT_TRUE(channel.hasVideoDevice());
    EXPECT_EQ(hub.lost, 1);
}

TEST_F(CameraChannelTest, UnpluggedMicrophoneKeepsTheVideo)
{
    CameraChannel channel(0, provider, &hub, &hub);
    ASSERT_EQ(channel.Init(configFor("test:camera:A", "demo:microphone:1")), 1);
    provider.unplug("demo:microphone:1");
    EXPECT_TRUE(channel.hasVideoDevice());
    EXPECT_FALSE(channel.hasAudioDevice());
    EXPECT_TRUE(channel.isPreviewRunning());
    EXPECT_TRUE(framesArrive(channel));
    EXPECT_EQ(hub.lost, 0);
}

TEST_F(CameraChannelTest, StoredDeviceThatNoLongerExistsStartsWithoutDevice)
{
    CameraChannel channel(3, provider, &hub, &hub);
    EXPECT_EQ(channel.Init(configFor("test:camera:long-gone", "demo:microphone:1")), 1);
    EXPECT_FALSE(channel.hasVideoDevice());
    EXPECT_FALSE(channel.hasAudioDevice()) << "no audio without video";
    EXPECT_FALSE(channel.isGraphBuilt());
    EXPECT_EQ(channel.motion().startDetection(), 0) << "nothing to detect on";
    EXPECT_TRUE(hub.failures.empty());

    provider.plug(TestDeviceProvider::camera("test:camera:long-gone", "Late Camera"));
    EXPECT_TRUE(channel.hasVideoDevice());
    EXPECT_TRUE(framesArrive(channel));
}

TEST_F(CameraChannelTest, DeviceThatCannotBeOpenedIsReportedWithItsStep)
{
    CameraChannel channel(0, provider, &hub, &hub);
    EXPECT_EQ(channel.Init(configFor("test:broken")), 0);
    ASSERT_EQ(hub.failures.size(), 1u);
    EXPECT_EQ(hub.failures[0], "ChooseDevices-GraphCreate() 1007");
    EXPECT_FALSE(channel.isGraphBuilt());
    EXPECT_FALSE(channel.isPreviewRunning());
}

TEST_F(CameraChannelTest, GraphThatStopsWhileStreamingIsReportedAndStartedAgain)
{
    CameraChannel channel(0, provider, &hub, &hub);
    channel.setRestartDelay(100ms);
    ASSERT_EQ(channel.Init(configFor("test:flaky")), 1);
    ASSERT_TRUE(waitFor([&] { return !hub.failures.empty(); })) << "the stream's end must not go unnoticed";
    EXPECT_EQ(hub.failures.front(), "GraphStart-GraphStartPreview() 1034");
    EXPECT_TRUE(channel.hasVideoDevice());
    const uint64_t before = channel.frameStore().framesDelivered();
    EXPECT_TRUE(waitFor([&] { return channel.frameStore().framesDelivered() > before + 5; }))
        << "the camera came back without anyone's help";
}

TEST_F(CameraChannelTest, GraphThatCannotRunIsRetriedUntilTheHubStopsIt)
{
    CameraChannel channel(0, provider, &hub, &hub);
    channel.setRestartDelay(50ms);
    EXPECT_EQ(channel.Init(configFor("test:busy")), 0);
    ASSERT_GE(hub.failures.size(), 2u);
    EXPECT_EQ(hub.failures[0], "GraphStart-GraphStartPreview() 1034");
    EXPECT_EQ(hub.failures[1], "ChooseDevices-GraphStart(GRAPH_PREVIEW) 1034");
    EXPECT_TRUE(channel.hasVideoDevice()) << "the device is kept: it may come free";
    const size_t afterInit = hub.failures.size();
    EXPECT_TRUE(waitFor([&] { return hub.failures.size() > afterInit; }, 2000ms)) << "tried again";

    EXPECT_EQ(channel.GraphStop(), 1);
    waitFor([] { return false; }, 300ms);
    const size_t afterStop = hub.failures.size();
    waitFor([] { return false; }, 300ms);
    EXPECT_EQ(hub.failures.size(), afterStop) << "a stopped graph stays stopped";
}

TEST_F(CameraChannelTest, CaptureGraphFeedsTheStoreAndTheRecordingBranch)
{
    CameraChannel channel(0, provider, &hub, &hub);
    ASSERT_EQ(channel.Init(configFor("test:camera:A", "demo:microphone:1")), 1);

    EXPECT_EQ(channel.GraphStart(GraphMode::Capture), 0) << "no recorder plugged in";
    ASSERT_FALSE(hub.failures.empty());
    EXPECT_EQ(hub.failures.back(), "GraphStart-GraphBuildCapture() 1022");
    EXPECT_FALSE(channel.isCaptureRunning());
    EXPECT_EQ(channel.GraphStart(GraphMode::Preview), 1) << "the channel recovers with the next start";
    hub.failures.clear();

    CountingBranch branch;
    channel.setRecordingBranch(&branch);
    ASSERT_EQ(channel.GraphStart(GraphMode::Capture), 1);
    EXPECT_TRUE(channel.isCaptureRunning());
    EXPECT_FALSE(channel.isPreviewRunning());
    EXPECT_TRUE(framesArrive(channel));
    EXPECT_TRUE(waitFor([&] { return branch.videoBuffers > 2 && branch.audioBuffers > 2; }));

    ASSERT_EQ(channel.GraphStart(GraphMode::Preview), 1);
    const int recorded = branch.videoBuffers;
    EXPECT_TRUE(framesArrive(channel));
    EXPECT_EQ(branch.videoBuffers, recorded) << "preview records nothing";
    EXPECT_TRUE(hub.failures.empty());

    // Choosing another camera while capturing comes back capturing.
    ASSERT_EQ(channel.GraphStart(GraphMode::Capture), 1);
    ASSERT_EQ(channel.ChooseDevices("test:camera:B", {}), 1);
    EXPECT_TRUE(channel.isCaptureRunning());
    EXPECT_EQ(channel.GraphStop(), 1);
    EXPECT_FALSE(channel.isCaptureRunning());
}

TEST_F(CameraChannelTest, PictureFormatChangesAreCheckedAndRebuildTheGraph)
{
    CameraChannel channel(0, provider, &hub, &hub);
    ASSERT_EQ(channel.Init(configFor("test:camera:A")), 1);
    EXPECT_EQ(channel.setPictureFormat(240, 180, VideoSubtype::I420), kMsgBadVideoWidth);
    EXPECT_EQ(channel.setPictureFormat(256, 192, VideoSubtype::RGB565), kMsgBadColourSpace);
    EXPECT_EQ(channel.setPictureFormat(256, 192, VideoSubtype::YUY2), 0);
    EXPECT_TRUE(waitFor([&] {
        const FrameFormat f = channel.frameStore().format();
        return f.width == 256 && f.subtype == VideoSubtype::YUY2 && channel.frameStore().Size() == 256u * 192u * 2u;
    }));
    EXPECT_TRUE(channel.isPreviewRunning());
}

TEST_F(CameraChannelTest, DevicesIniEntryHandsOverItsSizeAndRate)
{
    const auto folder = std::filesystem::temp_directory_path() / ("vantry-devices-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const auto ini = folder / "devices.ini";
    std::ofstream(ini) << "[general]\nnum_of_device=1\n[vdevice01]\nname=Camera A\nwidth=176\nheight=144\n"
                          "framerate=5\nfSetFrameRate=1\n";
    ChannelConfig config = configFor("test:camera:A");
    config.devicesIniPath = ini.string();
    CameraChannel channel(0, provider, &hub, &hub);
    ASSERT_EQ(channel.Init(config), 1);
    EXPECT_EQ(channel.config().capture.width, 176);
    EXPECT_EQ(channel.frameRateInUse(), 5);
    EXPECT_TRUE(framesArrive(channel, 2));
    EXPECT_EQ(channel.frameStore().format().width, 176);
    std::filesystem::remove_all(folder);
}

} // namespace
} // namespace vantry::station
