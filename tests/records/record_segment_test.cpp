#include "common/avi_reader.h"
#include "common/avi_writer.h"
#include "common/record_files.h"
#include "common/record_index.h"
#include "common/record_segment.h"
#include "record_fixtures.h"

#include <gtest/gtest.h>

using namespace vantry::common;
using namespace vantry::test;

namespace {

struct Case {
    const char* what;
    bool eventMode;
    bool eventRecorded;
    int32_t nowOffset; // from the start; negative: the clock went backwards
    size_t frames;
    bool clash;
    SegmentResult result;
    int32_t span;      // expected end - start
    size_t logLines;
};

} // namespace

class SegmentEnds : public ::testing::TestWithParam<Case> {};

TEST_P(SegmentEnds, FinishRenameInformAndIndex)
{
    const Case c = GetParam();
    ScopedTimeZone zone("UTC0");
    TempFolder storage;
    RecordIndex index;
    ASSERT_EQ(index.Open(storage.path()), 1);
    const int32_t start = MakeLocalTime(2025, 3, 9, 14, 0, 0);
    const std::string path = NewSegmentPath(storage.path(), start);
    AviWriter writer;
    ASSERT_EQ(writer.Open(path, StationAviSetup(352, 288, 10, false)), 0);
    const Bytes frame(300, 9);
    for (size_t i = 0; i < c.frames; ++i)
        ASSERT_EQ(writer.WriteVideoFrame(frame.data(), frame.size(), i == 0, start), 0);
    if (c.clash)
        WriteBytes(storage / ("2025-03-09/" + RecordFileName(start, start + c.span, c.eventRecorded)), Bytes(3, 0));

    SegmentEnd segment;
    segment.path = path;
    segment.start = start;
    segment.now = start + c.nowOffset;
    segment.eventMode = c.eventMode;
    segment.eventRecorded = c.eventRecorded;
    segment.cameraIndex = 1;
    segment.cameraName = "Yard";
    segment.periods = {{0, start + 1, start + 2}};
    const SegmentOutcome out = FinishRecordSegment(segment, &writer, index);
    EXPECT_EQ(out.result, c.result) << c.what;
    EXPECT_EQ(out.logLines.size(), c.logLines) << c.what;
    if (c.result != SegmentResult::Indexed) {
        EXPECT_FALSE(FileExists(path)) << c.what;
        EXPECT_EQ(index.RecordCount(), 0u);
        return;
    }
    EXPECT_EQ(out.end, start + c.span) << c.what;
    const std::string expected = c.clash ? path : storage / ("2025-03-09/" + RecordFileName(start, start + c.span, c.eventRecorded));
    EXPECT_EQ(out.path, expected) << c.what;
    ASSERT_EQ(index.RecordCount(), 1u);
    const IndexRecord record = index.Records()[0];
    EXPECT_EQ(record.path, expected);
    EXPECT_EQ(record.kind, c.eventRecorded ? 1u : 0u);
    EXPECT_EQ(record.end, start + c.span);
    AviFileInfo info;
    ASSERT_EQ(ReadAviFile(expected, info), 0);
    EXPECT_EQ(info.state, AviState::Finished);
    EXPECT_EQ(record.size, info.fileSize);
    ASSERT_TRUE(info.hasRecordInfo);
    EXPECT_EQ(info.recordInfo.periods.size(), 1u);
    EXPECT_EQ(info.recordInfo.cameraName, "Yard");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SegmentEnds,
    ::testing::Values(Case{"normal", false, false, 300, 3000, false, SegmentResult::Indexed, 300, 0},
                      Case{"event", true, true, 60, 600, false, SegmentResult::Indexed, 60, 0},
                      Case{"event mode without event", true, false, 60, 600, false, SegmentResult::Deleted, 0, 0},
                      Case{"clock went backwards", false, false, -3600, 80, false, SegmentResult::Indexed, 8, 0},
                      Case{"no frame", false, false, 60, 0, false, SegmentResult::Deleted, 0, 2},
                      Case{"final name taken", false, false, 120, 1200, true, SegmentResult::Indexed, 120, 1}),
    [](const auto& param) {
        std::string name = param.param.what;
        for (char& ch : name)
            if (ch == ' ')
                ch = '_';
        return name;
    });
