#include "platform/folders.h"
#include "platform/system_info.h"
#include "test_support.h"

#include <arpa/inet.h>
#include <fstream>
#include <sys/stat.h>

namespace vantry::platform {
namespace {

class FoldersTest : public test::PlatformTest {
protected:
    void SetUp() override
    {
        test::PlatformTest::SetUp();
        for (const char* name : {"HOME", "XDG_DATA_HOME"}) {
            const char* value = std::getenv(name);
            saved_.emplace_back(name, value != nullptr ? std::optional<std::string>(value) : std::nullopt);
        }
    }
    void TearDown() override
    {
        for (const auto& [name, value] : saved_) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
        test::PlatformTest::TearDown();
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST_F(FoldersTest, DataFolderFollowsOverrideThenXdgThenHome)
{
    struct Case {
        const char* what;
        const char* dataDir;
        const char* xdgDataHome;
        const char* home;
        DataFolderOwner owner;
        std::string expected;
    };
    const Case cases[] = {
        {"override as it stands", "/srv/cams/", "/x", "/home/u", DataFolderOwner::Station, "/srv/cams"},
        {"override for the viewer too", "/srv/cams", "/x", "/home/u", DataFolderOwner::Viewer, "/srv/cams"},
        {"XDG data home", nullptr, "/xdg/data", "/home/u", DataFolderOwner::Station, "/xdg/data/vantry"},
        {"viewer under XDG", nullptr, "/xdg/data/", "/home/u", DataFolderOwner::Viewer, "/xdg/data/vyremote"},
        {"relative XDG ignored", nullptr, "rel/data", "/home/u", DataFolderOwner::Station, "/home/u/.local/share/vantry"},
        {"home default", nullptr, nullptr, "/home/u", DataFolderOwner::Viewer, "/home/u/.local/share/vyremote"},
    };
    for (const Case& c : cases) {
        auto set = [](const char* name, const char* value) {
            if (value != nullptr)
                ::setenv(name, value, 1);
            else
                ::unsetenv(name);
        };
        set("VANTRY_DATA_DIR", c.dataDir);
        set("XDG_DATA_HOME", c.xdgDataHome);
        set("HOME", c.home);
        EXPECT_EQ(dataFolder(c.owner), c.expected) << c.what;
    }
}

TEST_F(FoldersTest, RuntimeFolderIsPrivate)
{
    const std::string folder = runtimeFolder();
    EXPECT_EQ(folder, runtimeDir().string());
    struct stat info {};
    ASSERT_EQ(::stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    // One of ours left open to others is narrowed again.
    ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
    EXPECT_EQ(runtimeFolder(), folder);
    ASSERT_EQ(::stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    // Something else in the way, or no XDG folder: the per-user folder in /tmp.
    const std::string fallback = "/tmp/vantry-" + std::to_string(::getuid());
    std::filesystem::remove_all(folder);
    std::ofstream(folder) << "not a folder";
    EXPECT_EQ(runtimeFolder(), fallback);
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(runtimeFolder(), fallback);
    ASSERT_EQ(::stat(fallback.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST_F(FoldersTest, ProgramFolderIsTheExecutablesFolder)
{
    EXPECT_EQ(std::filesystem::canonical(programFolder()), std::filesystem::canonical(VANTRY_TEST_BIN_DIR));
}

TEST(SystemInfo, ReportsNameAddressAndSpace)
{
    EXPECT_FALSE(computerName().empty());
    const std::string address = localIPv4Address();
    if (!address.empty()) {
        in_addr parsed{};
        EXPECT_EQ(::inet_pton(AF_INET, address.c_str(), &parsed), 1) << address;
        EXPECT_NE(address.rfind("127.", 0), 0u) << address;
    }
    EXPECT_GT(freeDiskBytes("/tmp"), 0);
    EXPECT_EQ(freeDiskBytes("/no/such/folder"), kDiskSpaceUnknown);
    EXPECT_EQ(freeDiskBytes(""), kDiskSpaceUnknown);
}

TEST(SystemInfo, DefaultRouteInterfaceIsTheUpDefaultRouteWithTheLowestMetric)
{
    const std::string table =
        "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
        "eth0\t0010A8C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n"
        "wlan0\t00000000\t0100A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
        "down0\t00000000\t0100A8C0\t0002\t0\t0\t1\t00000000\t0\t0\t0\n"
        "eth1\t00000000\t0101A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
        "broken line\n";
    EXPECT_EQ(detail::defaultRouteInterface(table), "eth1");
    EXPECT_EQ(detail::defaultRouteInterface("Iface\tDestination\n"), "");
    EXPECT_EQ(detail::defaultRouteInterface(""), "");
}

} // namespace
} // namespace vantry::platform
