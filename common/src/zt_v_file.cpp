#include "common/zt_v_file.h"

#include "common/record_files.h"
#include "common/record_info.h"

#include <ctime>
#include <sys/stat.h>

namespace vantry::common {

CZtVFile::~CZtVFile() = default;

std::string CZtVFile::Name(int32_t start, int32_t end, uint32_t kind) { return RecordFileName(start, end, kind); }

int CZtVFile::Open(const std::string& folder, uint32_t kind)
{
    if (writer_.IsOpen())
        return -1;
    kind_ = kind ? kRecordKindEvent : kRecordKindNormal;
    start_ = end_ = static_cast<int32_t>(std::time(nullptr));
    fileSize_ = 0;
    path_ = folder + "/" + Name(start_, start_, kind_);
    return writer_.Create(path_);
}

void CZtVFile::SetNames(const std::string& siteName, const std::string& cameraName, uint32_t cameraIndex)
{
    siteName_ = siteName;
    cameraName_ = cameraName;
    cameraIndex_ = cameraIndex;
}

int CZtVFile::WriteHeaders(uint32_t handler, const std::vector<uint8_t>& streamFormat)
{
    if (!writer_.IsOpen())
        return -1;
    if (streamFormat.size() < BitmapInfoHeader::kSize) {
        writer_.Finish(start_, end_);
        return -1;
    }
    const BitmapInfoHeader bitmap = BitmapInfoHeader::Parse(streamFormat.data());
    const int64_t width = bitmap.width;
    const int64_t height = bitmap.height < 0 ? -static_cast<int64_t>(bitmap.height) : bitmap.height;

    AviWriterSetup setup;
    setup.mainHeader.flags = kAviFlagHasIndex;
    setup.mainHeader.streams = 1;
    setup.mainHeader.width = static_cast<uint32_t>(width);
    setup.mainHeader.height = static_cast<uint32_t>(height);
    AviStreamHeader& video = setup.video.header;
    video.type = fourcc::kVids;
    video.handler = handler;
    video.scale = 100;
    video.rate = 1500;
    const int64_t rowBytes = ((bitmap.bitCount * width / 8 + 3) / 4) * 4;
    video.suggestedBufferSize = static_cast<uint32_t>(rowBytes * height);
    video.frameRight = static_cast<int16_t>(width);
    video.frameBottom = static_cast<int16_t>(height);
    setup.video.format = streamFormat;
    if (writer_.WriteHeaders(setup) != 0) {
        writer_.Finish(start_, end_);
        return -1;
    }
    return 0;
}

int CZtVFile::WriteFrame(const uint8_t* payload, size_t length, uint32_t flags)
{
    return writer_.WriteVideoFrame(payload, length, (flags & kIndexFlagKeyFrame) != 0, end_);
}

bool CZtVFile::IsFull() const
{
    if (writer_.VideoFrames() == 0)
        return false;
    const int64_t minutes = (static_cast<int64_t>(end_) - start_) / 60;
    return minutes > fileLengthMinutes_;
}

int CZtVFile::Close()
{
    if (!writer_.IsOpen())
        return -1;
    if (writer_.Finish(start_, end_) != 0)
        return -1;
    RecordInfo info;
    info.start = start_;
    info.end = end_;
    info.cameraIndex = cameraIndex_;
    info.siteName = siteName_;
    info.cameraName = cameraName_;
    if (AppendRecordInfo(path_, info) != 0)
        return -1;
    std::string finalPath;
    if (RenameRecordFile(path_, start_, end_, kind_, finalPath) == 0)
        path_ = finalPath;
    struct stat st {};
    fileSize_ = ::stat(path_.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : writer_.FileSize();
    return 0;
}

} // namespace vantry::common
