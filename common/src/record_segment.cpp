#include "common/record_segment.h"

#include "common/avi_reader.h"
#include "common/avi_writer.h"
#include "common/record_files.h"
#include "common/record_index.h"
#include "record_file_io.h"

#include <fcntl.h>

#include <algorithm>
#include <cmath>
#include <sys/stat.h>
#include <unistd.h>

namespace vantry::common {

namespace {

constexpr const char* kNotAvi = "Not an AVI file!";
constexpr const char* kNoExtraInformation = "Failed to open record file to save extra information.";
constexpr const char* kRenameFailed = "Fail on renaming record file!";
// The end given to a segment whose clock went backwards and whose duration is unknown.
constexpr int32_t kFallbackSpanSeconds = 5;

int64_t FileLength(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}

int64_t WholeSeconds(const AviFileInfo& info)
{
    return static_cast<int64_t>(info.mainHeader.totalFrames) * info.mainHeader.microSecPerFrame / 1000000;
}

// A file closed by another writer may carry a rate far from what its frames and span say;
// players would then run it too fast or too slow.
void FixFrameRate(const std::string& path, const AviFileInfo& info, int32_t start, int32_t end)
{
    const AviStreamInfo* video = info.VideoStream();
    if (video == nullptr || video->header.scale == 0)
        return;
    const int64_t span = std::max<int64_t>(1, static_cast<int64_t>(end) - start);
    const double fileRate = static_cast<double>(info.mainHeader.totalFrames) / static_cast<double>(span);
    const double streamRate = static_cast<double>(video->header.rate) / video->header.scale;
    if (std::abs(fileRate - streamRate) <= 2.0)
        return;
    AviMainHeader main = info.mainHeader;
    AviStreamHeader stream = video->header;
    const uint32_t largest = main.suggestedBufferSize;
    ApplySpanToHeaders(main, stream, main.totalFrames, largest, start, end);
    detail::FileHandle file;
    if (!file.Open(path, O_RDWR))
        return;
    const auto mainBytes = main.Serialize();
    const auto streamBytes = stream.Serialize();
    file.PwriteAll(mainBytes.data(), mainBytes.size(), info.mainHeaderPos);
    file.PwriteAll(streamBytes.data(), streamBytes.size(), video->headerPos);
}

} // namespace

SegmentOutcome FinishRecordSegment(const SegmentEnd& segment, AviWriter* writer, RecordIndex& index)
{
    SegmentOutcome out;
    out.path = segment.path;
    out.kind = segment.eventRecorded ? kRecordKindEvent : kRecordKindNormal;

    // The end is now, unless the clock went backwards: then the start plus the file's duration.
    int32_t end = segment.now;
    if (segment.now < segment.start) {
        int64_t seconds = -1;
        if (writer != nullptr && writer->IsOpen()) {
            seconds = static_cast<int64_t>(writer->VideoFrames()) * writer->MainHeader().microSecPerFrame / 1000000;
        } else {
            AviFileInfo info;
            if (ReadAviFile(segment.path, info) == 0)
                seconds = WholeSeconds(info);
        }
        end = segment.start + (seconds > 0 ? static_cast<int32_t>(std::min<int64_t>(seconds, 86400)) : kFallbackSpanSeconds);
    }
    out.end = end;
    if (writer != nullptr && writer->IsOpen())
        writer->Finish(segment.start, end);

    if (segment.eventMode && !segment.eventRecorded) {
        ::unlink(segment.path.c_str());
        out.result = SegmentResult::Deleted;
        return out;
    }
    AviFileInfo info;
    if (FileLength(segment.path) <= 0 || ReadAviFile(segment.path, info) != 0 || WholeSeconds(info) == 0) {
        out.logLines = {kNotAvi, kNoExtraInformation};
        ::unlink(segment.path.c_str());
        out.result = SegmentResult::Deleted;
        return out;
    }

    std::string finalPath;
    if (RenameRecordFile(segment.path, segment.start, end, out.kind, finalPath) != 0)
        out.logLines.emplace_back(kRenameFailed);
    out.path = finalPath;
    if (writer == nullptr)
        FixFrameRate(out.path, info, segment.start, end);

    RecordInfo record;
    record.start = segment.start;
    record.end = end;
    record.periods = segment.periods;
    record.cameraIndex = segment.cameraIndex;
    record.siteName = segment.siteName;
    record.cameraName = segment.cameraName;
    if (AppendRecordInfo(out.path, record) != 0) {
        out.logLines.emplace_back(kNotAvi);
        out.logLines.emplace_back(kNoExtraInformation);
    }

    const int64_t length = FileLength(out.path);
    const int added = index.Add({out.path, out.kind, segment.start, end, length > 0 ? static_cast<uint64_t>(length) : 0});
    out.result = added == 1 ? SegmentResult::Indexed : (FileLength(out.path) >= 0 ? SegmentResult::Refused : SegmentResult::Deleted);
    return out;
}

} // namespace vantry::common
