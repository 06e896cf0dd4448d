#include "common/record_info.h"

#include "common/avi_format.h"
#include "record_file_io.h"

#include <algorithm>
#include <fcntl.h>

namespace vantry::common {

namespace {

// The VANT form carries at most a few thousand periods; anything larger is not ours.
constexpr uint32_t kMaxRecordInfoBytes = 1u << 20;

void AppendName(std::vector<uint8_t>& out, const std::string& name)
{
    uint8_t field[kRecordInfoNameBytes] = {};
    const size_t n = std::min(name.size(), kRecordInfoNameBytes - 1);
    std::copy_n(name.begin(), n, field);
    out.insert(out.end(), field, field + kRecordInfoNameBytes);
}

std::string ReadName(const uint8_t* p)
{
    size_t n = 0;
    while (n < kRecordInfoNameBytes - 1 && p[n] != 0)
        ++n;
    return std::string(reinterpret_cast<const char*>(p), n);
}

void AppendList(std::vector<uint8_t>& out, uint32_t type, const std::vector<uint8_t>& payload)
{
    AppendLe32(out, fourcc::kList);
    AppendLe32(out, static_cast<uint32_t>(payload.size() + 4));
    AppendLe32(out, type);
    out.insert(out.end(), payload.begin(), payload.end());
    if (payload.size() & 1)
        out.push_back(0);
}

// Position just after the AVI form (its padded end), or -1 when path is not an AVI.
int64_t AviFormEnd(const detail::FileHandle& file)
{
    uint8_t head[12];
    if (!file.PreadExact(head, sizeof head, 0) || GetLe32(head) != fourcc::kRiff || GetLe32(head + 8) != fourcc::kAvi)
        return -1;
    const uint64_t size = GetLe32(head + 4);
    return static_cast<int64_t>(8 + size + (size & 1));
}

} // namespace

std::vector<uint8_t> SerializeRecordInfo(const RecordInfo& info)
{
    std::vector<uint8_t> leng;
    AppendLe32(leng, static_cast<uint32_t>(info.start));
    AppendLe32(leng, static_cast<uint32_t>(info.end));
    AppendLe32(leng, static_cast<uint32_t>(info.periods.size()));
    std::vector<uint8_t> even;
    if (!info.periods.empty()) {
        AppendLe32(even, static_cast<uint32_t>(info.periods.size()));
        for (const auto& period : info.periods) {
            AppendLe32(even, period.kind);
            AppendLe32(even, static_cast<uint32_t>(period.start));
            AppendLe32(even, static_cast<uint32_t>(period.end));
        }
    }
    std::vector<uint8_t> came;
    AppendLe32(came, info.cameraIndex);
    AppendName(came, info.siteName);
    AppendName(came, info.cameraName);

    std::vector<uint8_t> form;
    AppendLe32(form, fourcc::kRiff);
    AppendLe32(form, 0);
    AppendLe32(form, fourcc::kVant);
    AppendList(form, fourcc::kLeng, leng);
    AppendList(form, fourcc::kEven, even);
    AppendList(form, fourcc::kCame, came);
    PutLe32(form.data() + 4, static_cast<uint32_t>(form.size() - 8));
    return form;
}

bool ParseRecordInfo(const uint8_t* data, size_t size, RecordInfo& out)
{
    out = RecordInfo{};
    if (size < 12 || GetLe32(data) != fourcc::kRiff || GetLe32(data + 8) != fourcc::kVant)
        return false;
    const size_t end = std::min<size_t>(size, 8 + static_cast<size_t>(GetLe32(data + 4)));
    bool haveLength = false;
    size_t pos = 12;
    while (pos + 12 <= end) {
        const uint32_t id = GetLe32(data + pos);
        const size_t chunkSize = GetLe32(data + pos + 4);
        if (chunkSize < 4 || chunkSize > end - pos - 8)
            break; // cut or damaged: keep what was read so far
        const uint8_t* payload = data + pos + 12;
        const size_t payloadSize = chunkSize - 4;
        if (id == fourcc::kList) {
            const uint32_t type = GetLe32(data + pos + 8);
            if (type == fourcc::kLeng && payloadSize >= 8) {
                out.start = static_cast<int32_t>(GetLe32(payload));
                out.end = static_cast<int32_t>(GetLe32(payload + 4));
                haveLength = true;
            } else if (type == fourcc::kEven && payloadSize >= 4) {
                const size_t count = std::min<size_t>(GetLe32(payload), (payloadSize - 4) / 12);
                for (size_t i = 0; i < count; ++i) {
                    const uint8_t* item = payload + 4 + 12 * i;
                    out.periods.push_back({GetLe32(item), static_cast<int32_t>(GetLe32(item + 4)),
                                           static_cast<int32_t>(GetLe32(item + 8))});
                }
            } else if (type == fourcc::kCame && payloadSize >= 4 + 2 * kRecordInfoNameBytes) {
                out.cameraIndex = GetLe32(payload);
                out.siteName = ReadName(payload + 4);
                out.cameraName = ReadName(payload + 4 + kRecordInfoNameBytes);
            }
        }
        pos += 8 + chunkSize + (chunkSize & 1);
    }
    return haveLength;
}

int AppendRecordInfo(const std::string& path, const RecordInfo& info)
{
    detail::FileHandle file;
    if (!file.Open(path, O_RDWR))
        return -1;
    const int64_t formEnd = AviFormEnd(file);
    const int64_t size = file.Size();
    if (formEnd < 0 || size < 0 || formEnd - 1 > size)
        return -1;
    // A pad byte owed by the AVI form may be missing at the very end of the file.
    if (formEnd == size + 1) {
        const uint8_t zero = 0;
        if (!file.PwriteAll(&zero, 1, static_cast<uint64_t>(size)))
            return -1;
    }
    const auto form = SerializeRecordInfo(info);
    if (!file.PwriteAll(form.data(), form.size(), static_cast<uint64_t>(formEnd)))
        return -1;
    if (!file.Truncate(static_cast<uint64_t>(formEnd) + form.size()) || !file.SyncData())
        return -1;
    return file.Close() == 0 ? 0 : -1;
}

int ReadRecordInfo(const std::string& path, RecordInfo& out)
{
    detail::FileHandle file;
    if (!file.Open(path, O_RDONLY))
        return -1;
    const int64_t formEnd = AviFormEnd(file);
    const int64_t size = file.Size();
    if (formEnd < 0 || size < 0 || formEnd + 12 > size)
        return -1;
    const uint64_t available = static_cast<uint64_t>(size - formEnd);
    std::vector<uint8_t> bytes(static_cast<size_t>(std::min<uint64_t>(available, kMaxRecordInfoBytes)));
    if (!file.PreadExact(bytes.data(), bytes.size(), static_cast<uint64_t>(formEnd)))
        return -1;
    return ParseRecordInfo(bytes.data(), bytes.size(), out) ? 0 : -1;
}

} // namespace vantry::common
