#include "common/record_repair.h"

#include "common/avi_reader.h"
#include "common/avi_writer.h"
#include "common/record_files.h"
#include "common/record_info.h"
#include "record_file_io.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantry::common {

namespace {

// Bounds that keep a hostile file from costing more than a real recording could.
constexpr uint32_t kMaxChunkBytes = 64u << 20;
constexpr size_t kMaxIndexEntries = 8u << 20;
constexpr int kRenameAttempts = 61;
// A record spans at most a day; times stay where start + span fits 32 bits.
constexpr double kMaxSpanSeconds = 86400.0;

int32_t ClampTime(int64_t t)
{
    return static_cast<int32_t>(std::clamp<int64_t>(t, 1, INT32_MAX - 2 * 86400));
}

// A forward-moving window over the file so that the scan reads in large blocks.
class ChunkWindow {
public:
    ChunkWindow(const detail::FileHandle& file, uint64_t fileSize) : file_(file), fileSize_(fileSize) {}

    // Pointer to bytes [pos, pos + n) or nullptr when they are not all in the file.
    const uint8_t* Get(uint64_t pos, size_t n)
    {
        if (pos + n > fileSize_ || n > kWindowBytes)
            return nullptr;
        if (pos < start_ || pos + n > start_ + length_) {
            buffer_.resize(kWindowBytes);
            const long long got = file_.Pread(buffer_.data(), buffer_.size(), pos);
            if (got < 0)
                return nullptr;
            start_ = pos;
            length_ = static_cast<size_t>(got);
            if (n > length_)
                return nullptr;
        }
        return buffer_.data() + (pos - start_);
    }

private:
    static constexpr size_t kWindowBytes = 1u << 20;
    const detail::FileHandle& file_;
    uint64_t fileSize_;
    std::vector<uint8_t> buffer_;
    uint64_t start_ = 0;
    size_t length_ = 0;
};

enum class ChunkKind { Other, Video, Audio, Junk };

struct StreamIds {
    size_t streamCount = 0;
    size_t videoStream = SIZE_MAX;

    ChunkKind Classify(uint32_t id) const
    {
        if (id == fourcc::kJunk)
            return ChunkKind::Junk;
        const char a = static_cast<char>(id & 0xff), b = static_cast<char>((id >> 8) & 0xff);
        const char c = static_cast<char>((id >> 16) & 0xff), d = static_cast<char>((id >> 24) & 0xff);
        if (a < '0' || a > '9' || b < '0' || b > '9')
            return ChunkKind::Other;
        const size_t stream = static_cast<size_t>((a - '0') * 10 + (b - '0'));
        if (stream >= streamCount)
            return ChunkKind::Other;
        if (c == 'w' && d == 'b')
            return ChunkKind::Audio;
        if (c == 'd' && (d == 'c' || d == 'b'))
            return stream == videoStream ? ChunkKind::Video : ChunkKind::Other;
        return ChunkKind::Other;
    }
};

struct ScanResult {
    std::vector<AviIndexEntry> entries;
    uint64_t moviEnd = 0; // padded end of the last complete chunk
    uint32_t videoFrames = 0;
    uint32_t audioChunks = 0;
    uint64_t audioBytes = 0;
    uint32_t largestFrame = 0;
    bool haveMark = false;
    TimeMark firstMark;
    TimeMark lastMark;
    uint64_t skippedBytes = 0;
};

// A chunk header at pos that a scan may accept: a chunk of ours whose data lies in the file.
bool AcceptableChunk(ChunkWindow& window, const StreamIds& ids, uint64_t pos, uint64_t limit, ChunkKind& kind,
                     uint32_t& size)
{
    const uint8_t* header = window.Get(pos, 8);
    if (header == nullptr)
        return false;
    kind = ids.Classify(GetLe32(header));
    size = GetLe32(header + 4);
    if (kind == ChunkKind::Other || size > kMaxChunkBytes || pos + 8 + size > limit)
        return false;
    if (kind == ChunkKind::Junk)
        return size <= 4096; // padding and time marks are small; a huge JUNK is damage
    return size > 0 || kind == ChunkKind::Audio;
}

ScanResult ScanMovi(ChunkWindow& window, const StreamIds& ids, uint64_t moviListPos, uint64_t fileSize)
{
    ScanResult scan;
    const uint64_t moviId = moviListPos + 8;
    const uint64_t limit = std::min<uint64_t>(fileSize, AviWriter::kMaxFileBytes);
    uint64_t pos = moviListPos + 12;
    scan.moviEnd = pos;
    while (pos + 8 <= limit && scan.entries.size() < kMaxIndexEntries) {
        ChunkKind kind = ChunkKind::Other;
        uint32_t size = 0;
        if (!AcceptableChunk(window, ids, pos, limit, kind, size)) {
            const uint8_t* header = window.Get(pos, 4);
            if (header != nullptr && GetLe32(header) == fourcc::kIdx1)
                break; // the index of a finished file: movi ended here
            // Damaged stretch: step forward to the next chunk of ours.
            uint64_t next = pos + 1;
            while (next + 8 <= limit && !AcceptableChunk(window, ids, next, limit, kind, size))
                ++next;
            if (next + 8 > limit)
                break;
            scan.skippedBytes += next - pos;
            pos = next;
        }
        const uint64_t end = pos + 8 + size;
        const uint32_t offset = static_cast<uint32_t>(pos - moviId);
        if (kind == ChunkKind::Video) {
            const uint8_t* payload = window.Get(pos + 8, std::min<size_t>(size, 8));
            const bool intra = scan.videoFrames == 0 || payload == nullptr || IsIntraPicture(payload, std::min<size_t>(size, 8));
            scan.entries.push_back({fourcc::kVideoChunk, intra ? kIndexFlagKeyFrame : 0u, offset, size});
            ++scan.videoFrames;
            scan.largestFrame = std::max(scan.largestFrame, size);
        } else if (kind == ChunkKind::Audio) {
            const uint8_t* header = window.Get(pos, 4);
            scan.entries.push_back({header ? GetLe32(header) : fourcc::kAudioChunk, kIndexFlagKeyFrame, offset, size});
            ++scan.audioChunks;
            scan.audioBytes += size;
        } else if (kind == ChunkKind::Junk) {
            TimeMark mark;
            const uint8_t* payload = window.Get(pos + 8, std::min<size_t>(size, TimeMark::kSize));
            if (payload != nullptr && TimeMark::Parse(payload, size, mark) && mark.videoFrames <= scan.videoFrames) {
                if (!scan.haveMark)
                    scan.firstMark = mark;
                scan.lastMark = mark;
                scan.haveMark = true;
            }
        }
        scan.moviEnd = end + (size & 1);
        pos = scan.moviEnd;
    }
    return scan;
}

bool LooksLikeStartOfAvi(const uint8_t* data, size_t size)
{
    static const uint8_t kRiff[4] = {'R', 'I', 'F', 'F'};
    static const uint8_t kAvi[4] = {'A', 'V', 'I', ' '};
    for (size_t i = 0; i < size && i < 12; ++i) {
        if (i < 4 && data[i] != kRiff[i])
            return false;
        if (i >= 8 && data[i] != kAvi[i - 8])
            return false;
    }
    return true;
}

std::string FolderName(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return {};
    const std::string folder = path.substr(0, slash);
    const size_t parent = folder.find_last_of('/');
    return parent == std::string::npos ? folder : folder.substr(parent + 1);
}

std::string FileName(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Start time from the record name and its day folder, 0 when either is not ours.
int32_t StartFromName(const std::string& path, RecordName& name, bool& haveName)
{
    haveName = ParseRecordFileName(FileName(path), name);
    int year = 0, month = 0, day = 0;
    if (!haveName || !ParseDayFolderName(FolderName(path), year, month, day))
        return 0;
    int32_t start = 0, end = 0;
    RecordTimesFromName(year, month, day, name, start, end);
    return start;
}

int32_t ModificationTime(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<int32_t>(st.st_mtime) : 0;
}

// Renames to the final name; on a clash the end moves on by a second until a name is free.
std::string RenameToFinal(const std::string& path, int32_t start, int32_t& end, uint32_t kind, bool durable)
{
    std::string finalPath = path;
    for (int attempt = 0; attempt < kRenameAttempts; ++attempt) {
        if (RenameRecordFile(path, start, end + attempt, kind, finalPath, durable) == 0) {
            end += attempt;
            return finalPath;
        }
    }
    return path;
}

RepairOutcome DeleteWithoutFrames(RepairOutcome out, const RepairOptions& options)
{
    if (!options.deleteWithoutFrames) {
        out.result = RepairResult::NoFrame;
        return out;
    }
    out.result = ::unlink(out.path.c_str()) == 0 ? RepairResult::Deleted : RepairResult::Failed;
    return out;
}

} // namespace

const char* RepairResultText(RepairResult result)
{
    switch (result) {
    case RepairResult::AlreadyFinished: return "already finished";
    case RepairResult::Repaired: return "repaired";
    case RepairResult::Deleted: return "deleted: no complete video frame";
    case RepairResult::NoFrame: return "no complete video frame";
    case RepairResult::NotRecord: return "not an AVI record file";
    case RepairResult::InUse: return "in use by a recorder";
    case RepairResult::Failed: return "failed";
    }
    return "failed";
}

RepairOutcome RepairRecord(const std::string& path, const RepairOptions& options)
{
    RepairOutcome out;
    out.path = path;
    detail::FileHandle file;
    if (!file.Open(path, O_RDWR))
        return out;
    if (!file.TryLockExclusive()) {
        out.result = RepairResult::InUse;
        return out;
    }
    const int64_t size = file.Size();
    if (size < 0)
        return out;
    uint8_t head[12] = {};
    const long long headBytes = file.Pread(head, sizeof head, 0);
    if (headBytes < 0)
        return out;
    if (!LooksLikeStartOfAvi(head, static_cast<size_t>(headBytes))) {
        out.result = RepairResult::NotRecord;
        return out;
    }

    AviFileInfo info;
    if (ReadAviFile(path, info) != 0)
        return DeleteWithoutFrames(out, options); // cut before its headers were complete

    RecordName name;
    bool haveName = false;
    const int32_t nameStart = StartFromName(path, name, haveName);
    const uint64_t fileSize = static_cast<uint64_t>(size);

    if (info.state == AviState::Finished) {
        out.result = RepairResult::AlreadyFinished;
        out.videoFrames = info.FrameCount();
        out.fileSize = fileSize;
        out.kind = haveName ? name.kind : 0;
        const int64_t duration = static_cast<int64_t>(std::clamp(info.DurationSeconds() + 0.5, 1.0, kMaxSpanSeconds));
        if (info.hasRecordInfo && info.recordInfo.start > 0 && info.recordInfo.start < info.recordInfo.end) {
            out.start = info.recordInfo.start;
            out.end = info.recordInfo.end;
        } else {
            out.start = ClampTime(nameStart ? nameStart : static_cast<int64_t>(ModificationTime(path)) - duration);
            out.end = static_cast<int32_t>(out.start + duration);
        }
        if (options.rename && haveName && name.IsWorkingName()) {
            file.Close();
            out.path = RenameToFinal(path, out.start, out.end, out.kind, options.durable);
        }
        return out;
    }

    size_t videoStream = SIZE_MAX;
    for (size_t i = 0; i < info.streams.size(); ++i)
        if (info.streams[i].header.type == fourcc::kVids && videoStream == SIZE_MAX)
            videoStream = i;
    if (info.moviListPos == 0 || videoStream == SIZE_MAX)
        return DeleteWithoutFrames(out, options);
    if (info.mainHeaderPos > info.moviListPos) {
        // Headers after the frames: no writer of ours made this, and cutting at the end of movi
        // would lose them. Leave it as it is.
        out.result = RepairResult::NotRecord;
        return out;
    }

    ChunkWindow window(file, fileSize);
    const StreamIds ids{info.streams.size(), videoStream};
    ScanResult scan = ScanMovi(window, ids, info.moviListPos, fileSize);
    if (scan.videoFrames == 0) {
        file.Close();
        return DeleteWithoutFrames(out, options);
    }

    // Times from the frames: the marks carry the first and the latest frame times; frames after
    // the last mark are counted at the rate seen so far.
    const AviStreamHeader& videoHeader = info.streams[videoStream].header;
    double frameSeconds = 1.0 / 15.0;
    if (scan.haveMark && scan.lastMark.videoFrames > 1 && scan.lastMark.lastFrameTime > scan.lastMark.firstFrameTime)
        frameSeconds = (static_cast<double>(scan.lastMark.lastFrameTime) - scan.lastMark.firstFrameTime)
            / (scan.lastMark.videoFrames - 1);
    else if (videoHeader.rate > 0 && videoHeader.scale > 0)
        frameSeconds = static_cast<double>(videoHeader.scale) / videoHeader.rate;
    else if (info.mainHeader.microSecPerFrame > 0)
        frameSeconds = info.mainHeader.microSecPerFrame / 1000000.0;
    frameSeconds = std::clamp(frameSeconds, 0.001, 3600.0);

    int32_t start = 0;
    int64_t end = 0;
    if (scan.haveMark && scan.firstMark.firstFrameTime > 0) {
        start = ClampTime(scan.firstMark.firstFrameTime);
        const uint32_t after = scan.videoFrames - scan.lastMark.videoFrames;
        end = static_cast<int64_t>(scan.lastMark.lastFrameTime)
            + static_cast<int64_t>(std::min(after * frameSeconds + 0.999, kMaxSpanSeconds));
    } else {
        const int64_t duration = static_cast<int64_t>(std::min((scan.videoFrames - 1) * frameSeconds + 0.999, kMaxSpanSeconds));
        start = ClampTime(nameStart ? nameStart : static_cast<int64_t>(ModificationTime(path)) - duration);
        end = static_cast<int64_t>(start) + duration;
    }
    end = std::clamp<int64_t>(end, static_cast<int64_t>(start) + 1, static_cast<int64_t>(start) + static_cast<int64_t>(kMaxSpanSeconds));
    out.start = start;
    out.end = static_cast<int32_t>(end);
    out.kind = scan.haveMark ? scan.lastMark.kind : (haveName ? name.kind : 0);
    out.videoFrames = scan.videoFrames;
    out.audioChunks = scan.audioChunks;
    out.skippedBytes = scan.skippedBytes;

    // Cut what is incomplete, then idx1, sizes, headers and the record information.
    bool ok = true;
    if (scan.moviEnd > fileSize) {
        const uint8_t pad = 0; // the pad byte of the last chunk never reached the disk
        ok = file.PwriteAll(&pad, 1, fileSize);
    }
    if (scan.moviEnd & 1) {
        // A damaged stretch of odd length left the last chunk at an odd position; readers step
        // from movi to idx1 on even positions.
        const uint8_t pad = 0;
        ok = ok && file.PwriteAll(&pad, 1, scan.moviEnd);
        ++scan.moviEnd;
    }
    std::vector<uint8_t> tail;
    tail.reserve(8 + scan.entries.size() * 16);
    AppendLe32(tail, fourcc::kIdx1);
    AppendLe32(tail, static_cast<uint32_t>(scan.entries.size() * 16));
    for (const auto& e : scan.entries) {
        AppendLe32(tail, e.chunkId);
        AppendLe32(tail, e.flags);
        AppendLe32(tail, e.offset);
        AppendLe32(tail, e.size);
    }
    const uint64_t riffEnd = scan.moviEnd + tail.size();
    RecordInfo record;
    record.start = out.start;
    record.end = out.end;
    record.cameraIndex = options.cameraIndex;
    record.siteName = options.siteName;
    record.cameraName = options.cameraName;
    const auto form = SerializeRecordInfo(record);
    tail.insert(tail.end(), form.begin(), form.end());
    ok = ok && file.PwriteAll(tail.data(), tail.size(), scan.moviEnd);
    ok = ok && file.Truncate(scan.moviEnd + tail.size());

    uint8_t word[4];
    PutLe32(word, static_cast<uint32_t>(scan.moviEnd - info.moviListPos - 8));
    ok = ok && file.PwriteAll(word, 4, info.moviListPos + 4);
    PutLe32(word, static_cast<uint32_t>(riffEnd - 8));
    ok = ok && file.PwriteAll(word, 4, 4);

    AviMainHeader main = info.mainHeader;
    AviStreamHeader video = videoHeader;
    ApplySpanToHeaders(main, video, scan.videoFrames, scan.largestFrame, out.start, out.end);
    main.flags |= kAviFlagHasIndex;
    const auto mainBytes = main.Serialize();
    const auto videoBytes = video.Serialize();
    ok = ok && file.PwriteAll(mainBytes.data(), mainBytes.size(), info.mainHeaderPos);
    ok = ok && file.PwriteAll(videoBytes.data(), videoBytes.size(), info.streams[videoStream].headerPos);
    for (const auto& stream : info.streams) {
        if (stream.header.type != fourcc::kAuds)
            continue;
        AviStreamHeader audio = stream.header;
        audio.length = static_cast<uint32_t>(audio.sampleSize ? scan.audioBytes / audio.sampleSize : scan.audioChunks);
        const auto audioBytes = audio.Serialize();
        ok = ok && file.PwriteAll(audioBytes.data(), audioBytes.size(), stream.headerPos);
    }
    ok = ok && (!options.durable || file.SyncData());
    out.fileSize = scan.moviEnd + tail.size();
    if (file.Close() != 0 || !ok) {
        out.result = RepairResult::Failed;
        return out;
    }
    out.result = RepairResult::Repaired;
    if (options.rename && haveName) {
        int32_t finalEnd = out.end;
        out.path = RenameToFinal(path, out.start, finalEnd, out.kind, options.durable);
        if (out.path != path && finalEnd != out.end) {
            out.end = finalEnd; // moved on past a clash: keep the stored end equal to the name
            AppendRecordInfo(out.path, RecordInfo{out.start, out.end, {}, options.cameraIndex, options.siteName,
                                                  options.cameraName});
        }
    }
    return out;
}

} // namespace vantry::common
