// The station's frame links with a real hub on demo cameras and a stream server played by
// the test: what the server is told, what the shared records hold when it is told, and the
// pictures written while it streams a camera.
#include "hub_test_support.h"

#include "common/frame_channel.h"
#include "common/station_messages.h"
#include "platform/endpoint.h"
#include "station/core/demo_devices.h"
#include "station/core/frame_links.h"
#include "station/core/station_hub.h"

#include <gtest/gtest.h>

namespace vantry::station {
namespace {

using test::waitFor;
namespace msg = common::msg;
using namespace std::chrono_literals;

class DemoProvider final : public DeviceProvider {
public:
    std::vector<CaptureDevice> devices(DeviceKind kind) const override { return demoDevices(kind); }
    GstElement* createSource(const CaptureDevice& device) override { return createDemoSource(device); }
};

// The server's endpoint: every message with, for sent ones, the record as it was then.
struct Heard {
    uint32_t msg;
    uint32_t wParam;
    int32_t lParam;
    bool sent;
    std::vector<uint8_t> record;
};

class FrameLinksTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::application();
        folders_.write("vantry.ini",
                       "[Preference]\nsSiteName=Warehouse\n[Preference_ch01]\nsCameraName=Gate\n"
                       "[VideoServer]\nfEnable=1\nnTCPPort=8181\nnConnectionLimit=3\nfEnablePWCheck=1\nsPW=0123456789\n"
                       "");
        hub_ = std::make_unique<StationHub>(HubFolders { folders_.data(), "/nonexistent" }, provider_);
        links_ = std::make_unique<FrameLinks>(*hub_);
        hub_->setFrameLinks(links_.get());
        ASSERT_EQ(hub_->openSettingsAndLogs(), 1);
        hub_->presetDevicesWhenNone(demoDevices(DeviceKind::Video), {});
        ASSERT_EQ(hub_->buildChannels(true), 1);
        server_ = platform::Endpoint::create("VYVServer", "", [this](const platform::Message& m) {
            Heard heard { m.msg, m.wParam, m.lParam, m.delivery == platform::Delivery::Sent, {} };
            if (heard.sent) {
                common::FrameChannelReader reader(static_cast<int>(static_cast<uint32_t>(m.lParam) >> 16));
                reader.read(&heard.record, nullptr);
            }
            heard_.push_back(std::move(heard));
            return 1;
        });
        ASSERT_TRUE(server_);
        // The demo camera delivers its format once its graph runs.
        ASSERT_TRUE(waitFor([&] { return hub_->channel(0)->frameStore().Size() > 0; }, 15s));
    }
    void TearDown() override
    {
        hub_->setFrameLinks(nullptr);
        links_.reset();
        hub_.reset();
        server_.reset();
    }

    void registerServer(platform::WindowHandle handle)
    {
        platform::Message m;
        m.msg = msg::kServerRegisters;
        m.lParam = static_cast<int32_t>(handle);
        m.sender = handle;
        hub_->dispatch(m);
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        waitFor([] { return false; }, 200ms);
    }
    void fromServer(uint32_t number, uint32_t wParam)
    {
        platform::Message m;
        m.msg = number;
        m.wParam = wParam;
        m.lParam = static_cast<int32_t>(server_->handle());
        m.sender = server_->handle();
        hub_->dispatch(m);
    }
    std::vector<Heard> heardOf(uint32_t number) const
    {
        std::vector<Heard> out;
        for (const Heard& h : heard_)
            if (h.msg == number)
                out.push_back(h);
        return out;
    }

    test::PrivateFolders folders_;
    DemoProvider provider_;
    std::unique_ptr<StationHub> hub_;
    std::unique_ptr<FrameLinks> links_;
    std::unique_ptr<platform::Endpoint> server_;
    std::vector<Heard> heard_;
};

TEST_F(FrameLinksTest, RegistrationGetsEverySettingWithItsMailbox)
{
    registerServer(server_->handle());
    ASSERT_EQ(links_->serverWindow(), server_->handle());

    ASSERT_EQ(heardOf(msg::kServerPort).size(), 1u);
    EXPECT_EQ(heardOf(msg::kServerPort)[0].wParam, 8181u);
    EXPECT_EQ(heardOf(msg::kConnectionLimit)[0].wParam, 3u);

    const auto offered = heardOf(msg::kCameraOffered);
    ASSERT_EQ(offered.size(), 4u);
    EXPECT_EQ(offered[0].wParam, 1u); // camera 1 has the demo device
    EXPECT_EQ(offered[1].lParam, 1 << 16);

    const auto names = heardOf(msg::kCameraNameInMailbox);
    ASSERT_EQ(names.size(), 4u);
    EXPECT_TRUE(names[0].sent);
    EXPECT_EQ(std::string(names[0].record.begin(), names[0].record.end()), std::string("Gate", 5));

    // Ten characters: L = 16, n = 10, two zero bytes after the text.
    const auto password = heardOf(msg::kPasswordInMailbox);
    ASSERT_EQ(password.size(), 1u);
    EXPECT_EQ(password[0].wParam, 1u);
    ASSERT_EQ(password[0].record.size(), 16u);
    EXPECT_EQ(password[0].record[0], 10);
    EXPECT_EQ(std::string(password[0].record.begin() + 4, password[0].record.begin() + 14), "0123456789");
    EXPECT_EQ(password[0].record[14], 0);
    EXPECT_EQ(password[0].record[15], 0);

    const auto site = heardOf(msg::kSiteNameInMailbox);
    ASSERT_EQ(site.size(), 1u);
    EXPECT_EQ(std::string(site[0].record.begin(), site[0].record.end()), std::string("Warehouse", 10));

    // The format block of camera 1: its bitmap header and the subtype after it.
    size_t withDevice = 0;
    for (int camera = 0; camera < 4; ++camera)
        withDevice += hub_->channel(camera)->hasVideoDevice() ? 1 : 0;
    const auto formats = heardOf(msg::kFormatInMailbox);
    ASSERT_EQ(formats.size(), withDevice);
    const auto block = common::parseFormatBlock(formats[0].record);
    ASSERT_TRUE(block);
    const FrameFormat format = hub_->channel(0)->frameStore().format();
    EXPECT_EQ(block->header.width, format.width);
    EXPECT_EQ(block->header.sizeImage, format.imageSize);
    EXPECT_EQ(heardOf(msg::kCameraStatus).size(), withDevice);

    ASSERT_EQ(heardOf(msg::kServerEnable).size(), 1u);
    EXPECT_EQ(heardOf(msg::kServerEnable)[0].wParam, 1u);
    EXPECT_EQ(heardOf(msg::kStartListening).size(), 1u);
    ASSERT_EQ(heardOf(msg::kStationCapabilities).size(), 1u);
    EXPECT_EQ(heardOf(msg::kStationCapabilities)[0].wParam & 0x10000u, 0x10000u);

    // Switching serving: stop listening, then the settings again without the formats.
    heard_.clear();
    hub_->command(32860);
    waitFor([] { return false; }, 200ms);
    ASSERT_FALSE(heardOf(msg::kStopListening).empty());
    EXPECT_EQ(heardOf(msg::kServerEnable)[0].wParam, 0u);
    EXPECT_TRUE(heardOf(msg::kFormatInMailbox).empty());
    EXPECT_TRUE(heardOf(msg::kStationCapabilities).empty());
}

TEST_F(FrameLinksTest, OnlyTheLiveServerMayRegister)
{
    registerServer(4242);
    EXPECT_EQ(links_->serverWindow(), platform::kNoWindow);
    EXPECT_TRUE(heard_.empty());
    // And nothing is written or sent to anyone without a registered server.
    links_->eventState(0, true);
    fromServer(msg::kServerWantsCamera, 0);
    waitFor([] { return false; }, 100ms);
    EXPECT_TRUE(heard_.empty());
}

TEST_F(FrameLinksTest, StreamingWritesEachPictureOnce)
{
    registerServer(server_->handle());
    heard_.clear();
    fromServer(msg::kServerWantsCamera, 0);
    ASSERT_TRUE(waitFor([&] { return !heardOf(msg::kStreamingStarted).empty(); }));
    EXPECT_EQ(heardOf(msg::kStreamingStarted)[0].lParam, 0);
    ASSERT_TRUE(links_->isStreaming(0));

    common::FrameChannelReader reader(0);
    const FrameFormat format = hub_->channel(0)->frameStore().format();
    ASSERT_TRUE(waitFor([&] { return links_->picturesWritten(0) >= 3; }));
    std::vector<uint8_t> picture;
    common::FrameStamps stamps;
    ASSERT_TRUE(reader.read(&picture, &stamps));
    EXPECT_EQ(picture.size(), format.imageSize);
    EXPECT_GT(stamps.second, 1700000000u);
    // The mapping holds at least a 720 x 576 RGB picture.
    EXPECT_GE(links_->writer(0).mappingBytes(), 1244172u);

    // Ticks that find the same frame write nothing more.
    const uint64_t before = links_->picturesWritten(0);
    links_->pictureTick(0);
    links_->pictureTick(0);
    links_->pictureTick(0);
    EXPECT_LE(links_->picturesWritten(0), before + 1);

    links_->eventState(0, true);
    fromServer(msg::kServerReleasesCamera, 0);
    ASSERT_TRUE(waitFor([&] { return !heardOf(msg::kStreamingStopped).empty(); }));
    EXPECT_FALSE(links_->isStreaming(0));
    ASSERT_EQ(heardOf(msg::kCameraEventState).size(), 1u);
    EXPECT_EQ(heardOf(msg::kCameraEventState)[0].wParam, 1u);
    const uint64_t stopped = links_->picturesWritten(0);
    waitFor([] { return false; }, 200ms);
    EXPECT_EQ(links_->picturesWritten(0), stopped);
}

TEST(FrameChannel, MappingSizesAndGrowth)
{
    test::application();
    test::PrivateFolders folders;
    common::FrameChannelWriter writer(2);
    ASSERT_EQ(writer.create(640 * 480 * 2), 1);
    EXPECT_EQ(writer.mappingBytes(), 1244172u);
    ASSERT_EQ(writer.create(720 * 576 * 3), 1);
    EXPECT_EQ(writer.mappingBytes(), 1244172u);

    common::FrameChannelReader reader(2);
    std::vector<uint8_t> small(1000, 7);
    ASSERT_EQ(writer.write(small, { 5, 1 }), small.size());
    std::vector<uint8_t> got;
    common::FrameStamps stamps;
    ASSERT_EQ(reader.read(&got, &stamps), small.size());
    EXPECT_EQ(stamps, (common::FrameStamps { 5, 1 }));

    // A larger format re-creates the record; the reader follows.
    std::vector<uint8_t> large(1280 * 720 * 3, 9);
    ASSERT_EQ(writer.write(large, { 6, 0 }), large.size());
    EXPECT_EQ(writer.mappingBytes(), large.size() + 12);
    ASSERT_EQ(reader.read(&got, &stamps), large.size());
    EXPECT_EQ(got, large);
    EXPECT_EQ(common::frameMappingName(2), "ZtMemMapFile03");
    EXPECT_EQ(common::frameMutexName(0), "ZtMemMapFileMutex01");
    EXPECT_EQ(common::buildPasswordBlock("0123456789abcdef").size(), 22u);
}

} // namespace
} // namespace vantry::station
