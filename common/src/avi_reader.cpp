#include "common/avi_reader.h"

#include "record_file_io.h"

#include <algorithm>
#include <fcntl.h>

namespace vantry::common {

namespace {

constexpr uint32_t kMaxHeaderListBytes = 1u << 20;
constexpr size_t kMaxStreams = 16;
constexpr int kMaxTopLevelChunks = 4096;

bool ParseHeaderList(const uint8_t* data, size_t size, uint64_t filePos, AviFileInfo& out)
{
    bool haveMain = false;
    size_t pos = 0;
    while (pos + 8 <= size) {
        const uint32_t id = GetLe32(data + pos);
        const size_t chunkSize = GetLe32(data + pos + 4);
        if (chunkSize > size - pos - 8)
            break;
        const uint8_t* payload = data + pos + 8;
        if (id == fourcc::kAvih && chunkSize >= AviMainHeader::kSize) {
            out.mainHeader = AviMainHeader::Parse(payload);
            out.mainHeaderPos = filePos + pos + 8;
            haveMain = true;
        } else if (id == fourcc::kList && chunkSize >= 4 && GetLe32(payload) == fourcc::kStrl
                   && out.streams.size() < kMaxStreams) {
            AviStreamInfo stream;
            bool haveHeader = false;
            size_t inner = 4;
            while (inner + 8 <= chunkSize) {
                const uint32_t innerId = GetLe32(payload + inner);
                const size_t innerSize = GetLe32(payload + inner + 4);
                if (innerSize > chunkSize - inner - 8)
                    break;
                if (innerId == fourcc::kStrh && innerSize >= AviStreamHeader::kSize) {
                    stream.header = AviStreamHeader::Parse(payload + inner + 8);
                    stream.headerPos = filePos + pos + 8 + inner + 8;
                    haveHeader = true;
                } else if (innerId == fourcc::kStrf) {
                    stream.format.assign(payload + inner + 8, payload + inner + 8 + innerSize);
                }
                inner += 8 + innerSize + (innerSize & 1);
            }
            if (haveHeader)
                out.streams.push_back(std::move(stream));
        }
        pos += 8 + chunkSize + (chunkSize & 1);
    }
    return haveMain && !out.streams.empty();
}

} // namespace

double AviFileInfo::DurationSeconds() const
{
    return static_cast<double>(mainHeader.totalFrames) * mainHeader.microSecPerFrame / 1000000.0;
}

const AviStreamInfo* AviFileInfo::VideoStream() const
{
    for (const auto& s : streams)
        if (s.header.type == fourcc::kVids)
            return &s;
    return nullptr;
}

const AviStreamInfo* AviFileInfo::AudioStream() const
{
    for (const auto& s : streams)
        if (s.header.type == fourcc::kAuds)
            return &s;
    return nullptr;
}

int ReadAviFile(const std::string& path, AviFileInfo& out)
{
    out = AviFileInfo{};
    detail::FileHandle file;
    if (!file.Open(path, O_RDONLY))
        return -1;
    const int64_t fileSize = file.Size();
    if (fileSize < 12)
        return -1;
    out.fileSize = static_cast<uint64_t>(fileSize);
    uint8_t head[12];
    if (!file.PreadExact(head, sizeof head, 0) || GetLe32(head) != fourcc::kRiff || GetLe32(head + 8) != fourcc::kAvi)
        return -1;
    out.riffEnd = 8ull + GetLe32(head + 4);
    const uint64_t limit = std::min(out.riffEnd, out.fileSize);

    bool haveHeaders = false;
    bool moviComplete = false;
    uint64_t pos = 12;
    for (int n = 0; n < kMaxTopLevelChunks && pos + 8 <= limit; ++n) {
        uint8_t chunk[12] = {};
        if (file.Pread(chunk, sizeof chunk, pos) < 8)
            break;
        const uint32_t id = GetLe32(chunk);
        const uint64_t size = GetLe32(chunk + 4);
        const uint64_t end = pos + 8 + size;
        if (id == fourcc::kList && size >= 4 && GetLe32(chunk + 8) == fourcc::kHdrl && !haveHeaders) {
            if (size > kMaxHeaderListBytes || end > out.fileSize)
                break;
            std::vector<uint8_t> list(static_cast<size_t>(size - 4));
            if (!file.PreadExact(list.data(), list.size(), pos + 12))
                break;
            haveHeaders = ParseHeaderList(list.data(), list.size(), pos + 12, out);
        } else if (id == fourcc::kList && size >= 4 && GetLe32(chunk + 8) == fourcc::kMovi && out.moviListPos == 0) {
            out.moviListPos = pos;
            out.moviEnd = end;
            moviComplete = end <= limit;
        } else if (id == fourcc::kIdx1 && out.moviListPos != 0) {
            out.hasIndex = end <= limit;
            out.indexEntries = static_cast<uint32_t>(size / 16);
        }
        pos = end + (size & 1);
    }
    if (!haveHeaders)
        return -1;
    const bool formComplete = out.riffEnd <= out.fileSize;
    out.state = (formComplete && moviComplete && out.hasIndex) ? AviState::Finished : AviState::Unfinished;

    if (formComplete && out.fileSize >= out.riffEnd + 12) {
        const uint64_t infoPos = out.riffEnd + (out.riffEnd & 1);
        const uint64_t available = std::min<uint64_t>(out.fileSize - std::min(infoPos, out.fileSize), 1u << 20);
        std::vector<uint8_t> bytes(static_cast<size_t>(available));
        if (!bytes.empty() && file.PreadExact(bytes.data(), bytes.size(), infoPos))
            out.hasRecordInfo = ParseRecordInfo(bytes.data(), bytes.size(), out.recordInfo);
    }
    return 0;
}

} // namespace vantry::common
