#include "common/record_files.h"
#include "record_fixtures.h"

#include <gtest/gtest.h>

using namespace vantry::common;
using namespace vantry::test;

namespace {

int Tool(const std::string& arguments, std::string* output = nullptr)
{
    return RunCommand("TZ=UTC0 " + Quote(std::string(VANTRY_TEST_BIN_DIR) + "/vyrecords") + " " + arguments, output);
}

} // namespace

TEST(Vyrecords, RebuildListInfoRepair)
{
    ScopedTimeZone zone("UTC0");
    TempFolder storage;
    std::string out;
    EXPECT_EQ(Tool("list " + Quote(storage.path())), 1); // no index yet

    const int32_t start = MakeLocalTime(2025, 2, 3, 4, 5, 6);
    StationFileSpec spec;
    spec.frames = SyntheticFrames(6, 80);
    spec.start = start;
    spec.end = start + 6;
    spec.withAudio = true;
    spec.syncIntervalMs = 0;
    spec.finish = false;
    const std::string crashed = NewSegmentPath(storage.path(), start);
    ASSERT_EQ(WriteStationFile(crashed, spec), 0);
    const std::string copy = storage / "copy.avi";
    WriteBytes(copy, ReadBytes(crashed));

    ASSERT_EQ(Tool("rebuild " + Quote(storage.path()), &out), 0);
    EXPECT_EQ(out, "1 records indexed (1 repaired, 0 deleted, 0 skipped), " + std::to_string(ReadBytes(storage / "2025-02-03/zt0405060405110.avi").size()) + " bytes\n");
    out.clear();
    ASSERT_EQ(Tool("list " + Quote(storage.path()), &out), 0);
    EXPECT_NE(out.find("2025-02-03 04:05:06  2025-02-03 04:05:11  normal"), std::string::npos) << out;
    EXPECT_NE(out.find(storage / "2025-02-03/zt0405060405110.avi"), std::string::npos) << out;

    out.clear();
    ASSERT_EQ(Tool("info " + Quote(storage / "2025-02-03/zt0405060405110.avi"), &out), 0);
    EXPECT_NE(out.find("frames: 6"), std::string::npos) << out;
    EXPECT_NE(out.find("format VX01"), std::string::npos) << out;
    EXPECT_NE(out.find("format tag 0x0031"), std::string::npos) << out;
    EXPECT_NE(out.find("record: 2025-02-03 04:05:06 - 2025-02-03 04:05:11"), std::string::npos) << out;

    out.clear();
    ASSERT_EQ(Tool("info " + Quote(copy), &out), 0);
    EXPECT_NE(out.find("unfinished"), std::string::npos) << out;
    out.clear();
    ASSERT_EQ(Tool("repair " + Quote(copy), &out), 0);
    EXPECT_NE(out.find("repaired: 6 frames"), std::string::npos) << out;
    out.clear();
    ASSERT_EQ(Tool("repair " + Quote(copy), &out), 0);
    EXPECT_NE(out.find("nothing to repair"), std::string::npos) << out;

    const std::string text = storage / "notes.avi";
    WriteBytes(text, Bytes(40, 'x'));
    EXPECT_EQ(Tool("repair " + Quote(text)), 1);
    EXPECT_EQ(Tool("info " + Quote(text)), 1);
    EXPECT_EQ(Tool("bogus " + Quote(text)), 1);
    EXPECT_EQ(Tool("rebuild " + Quote(storage / "missing")), 1);
}
