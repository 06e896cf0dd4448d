#include "common/avi_writer.h"

#include "record_file_io.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>

namespace vantry::common {

namespace {

void AppendChunkHeader(std::vector<uint8_t>& out, uint32_t id, uint32_t size)
{
    AppendLe32(out, id);
    AppendLe32(out, size);
}

template <size_t N>
void AppendBytes(std::vector<uint8_t>& out, const std::array<uint8_t, N>& bytes)
{
    out.insert(out.end(), bytes.begin(), bytes.end());
}

uint32_t ClampU32(uint64_t v) { return v > 0xffffffffull ? 0xffffffffu : static_cast<uint32_t>(v); }

} // namespace

void ApplySpanToHeaders(AviMainHeader& main, AviStreamHeader& video, uint32_t frames, uint32_t largestFrame,
                        int32_t start, int32_t end)
{
    const int64_t difference = static_cast<int64_t>(end) - start;
    const uint64_t span = difference > 0 ? static_cast<uint64_t>(difference) : 1u;
    // 64-bit products: spans above 2147 s overflow d x 1000000 in 32 bits.
    main.microSecPerFrame = ClampU32(frames ? span * 1000000u / frames : span * 1000000u);
    main.maxBytesPerSec = ClampU32(frames ? static_cast<uint64_t>(largestFrame) * frames / span : largestFrame);
    main.suggestedBufferSize = largestFrame;
    main.totalFrames = frames;
    video.scale = 100;
    video.rate = ClampU32(static_cast<uint64_t>(frames) * 100u / span);
    if (video.rate == 0)
        video.rate = 1; // under one frame per 100 s; a zero rate would make players divide by zero
    // The length is the frame count itself: rate x span / 100 rounds down and would drop the
    // last frame from players that trust it (30 frames in 7 s gave 29).
    video.length = frames;
}

AviWriterSetup StationAviSetup(int width, int height, int framesPerSecond, bool withAudio)
{
    if (framesPerSecond <= 0)
        framesPerSecond = 15;
    AviWriterSetup setup;
    BitmapInfoHeader bitmap;
    bitmap.width = width;
    bitmap.height = height;
    bitmap.bitCount = 24;
    bitmap.compression = fourcc::kVx01;
    bitmap.sizeImage = static_cast<uint32_t>(std::max(0, width * height * 3));
    setup.video.format = bitmap.Serialize();

    AviStreamHeader& video = setup.video.header;
    video.type = fourcc::kVids;
    video.handler = fourcc::kVx01;
    video.scale = 100;
    video.rate = static_cast<uint32_t>(framesPerSecond) * 100;
    video.suggestedBufferSize = bitmap.sizeImage;
    video.frameRight = static_cast<int16_t>(width);
    video.frameBottom = static_cast<int16_t>(height);

    AviMainHeader& main = setup.mainHeader;
    main.microSecPerFrame = 1000000u / static_cast<uint32_t>(framesPerSecond);
    main.flags = kAviFlagHasIndex | (withAudio ? kAviFlagIsInterleaved : 0);
    main.streams = withAudio ? 2 : 1;
    main.width = static_cast<uint32_t>(std::max(0, width));
    main.height = static_cast<uint32_t>(std::max(0, height));

    setup.hasAudio = withAudio;
    if (withAudio) {
        setup.audio.format = GsmWaveFormat();
        AviStreamHeader& audio = setup.audio.header;
        audio.type = fourcc::kAuds;
        audio.handler = 0;
        audio.scale = kGsmBlockBytes;
        audio.rate = kGsmBytesPerSecond;
        audio.sampleSize = kGsmBlockBytes;
        audio.suggestedBufferSize = kGsmBytesPerSecond / 2;
        audio.quality = 0xffffffffu;
    }
    return setup;
}

AviWriter::AviWriter() : file_(std::make_unique<detail::FileHandle>()) {}

AviWriter::~AviWriter() = default;

bool AviWriter::IsOpen() const { return file_->IsOpen(); }

int AviWriter::Fail(const std::string& what)
{
    lastError_ = what + ": " + std::strerror(errno ? errno : EIO);
    failed_ = true;
    return -1;
}

int AviWriter::Open(const std::string& path, const AviWriterSetup& setup)
{
    if (Create(path) != 0)
        return -1;
    return WriteHeaders(setup);
}

void AviWriter::Abandon()
{
    file_->Close();
    index_.clear();
}

int AviWriter::Create(const std::string& path)
{
    file_->Close();
    path_ = path;
    setup_ = AviWriterSetup{};
    headersWritten_ = false;
    index_.clear();
    index_.reserve(100);
    videoFrames_ = 0;
    largestVideoFrame_ = 0;
    audioBytes_ = 0;
    kind_ = 0;
    firstFrameTime_ = lastFrameTime_ = 0;
    failed_ = false;
    dirty_ = false;
    fileSize_ = 0;
    lastError_.clear();

    // Never replace a file: an existing one may be an unfinished record waiting for repair.
    if (!file_->Open(path, O_WRONLY | O_CREAT | O_EXCL))
        return Fail("cannot create " + path);
    if (!file_->TryLockExclusive())
        return Fail("cannot lock " + path);
    return 0;
}

int AviWriter::WriteHeaders(const AviWriterSetup& setup)
{
    if (!file_->IsOpen() || failed_ || headersWritten_)
        return -1;
    if (setup.video.format.size() > 0xffff || setup.audio.format.size() > 0xffff)
        return -1;
    setup_ = setup;
    const std::string& path = path_;
    std::vector<uint8_t> h;
    AppendChunkHeader(h, fourcc::kRiff, 0);
    AppendLe32(h, fourcc::kAvi);
    AppendChunkHeader(h, fourcc::kList, 0);
    const size_t hdrlSizePos = h.size() - 4;
    AppendLe32(h, fourcc::kHdrl);
    AppendChunkHeader(h, fourcc::kAvih, AviMainHeader::kSize);
    mainHeaderPos_ = h.size();
    AppendBytes(h, setup_.mainHeader.Serialize());

    auto appendStream = [&h](const AviStreamSetup& stream, uint64_t& headerPos) {
        AppendChunkHeader(h, fourcc::kList, 0);
        const size_t strlSizePos = h.size() - 4;
        AppendLe32(h, fourcc::kStrl);
        AppendChunkHeader(h, fourcc::kStrh, AviStreamHeader::kSize);
        headerPos = h.size();
        AppendBytes(h, stream.header.Serialize());
        AppendChunkHeader(h, fourcc::kStrf, static_cast<uint32_t>(stream.format.size()));
        h.insert(h.end(), stream.format.begin(), stream.format.end());
        if (stream.format.size() & 1)
            h.push_back(0);
        PutLe32(h.data() + strlSizePos, static_cast<uint32_t>(h.size() - strlSizePos - 4));
    };
    appendStream(setup_.video, videoHeaderPos_);
    if (setup_.hasAudio)
        appendStream(setup_.audio, audioHeaderPos_);
    PutLe32(h.data() + hdrlSizePos, static_cast<uint32_t>(h.size() - hdrlSizePos - 4));

    moviListPos_ = h.size();
    AppendChunkHeader(h, fourcc::kList, 4);
    AppendLe32(h, fourcc::kMovi);
    PutLe32(h.data() + 4, static_cast<uint32_t>(h.size() - 8));
    if (!file_->WriteAll(h.data(), h.size()))
        return Fail("cannot write headers of " + path);
    headersWritten_ = true;
    writePos_ = h.size();
    lastSync_ = std::chrono::steady_clock::now();
    return 0;
}

int AviWriter::WriteChunk(uint32_t id, const uint8_t* data, size_t size)
{
    if (!file_->IsOpen() || failed_ || !headersWritten_)
        return -1;
    if (size > 0xffffff00u || (size > 0 && data == nullptr))
        return -1;
    const uint64_t padded = 8 + size + (size & 1);
    const uint64_t indexBytes = 16ull * (index_.size() + 1);
    if (writePos_ + padded + indexBytes + 4096 > kMaxFileBytes) {
        lastError_ = "record file reached the AVI size limit";
        return -1;
    }
    scratch_.clear();
    AppendChunkHeader(scratch_, id, static_cast<uint32_t>(size));
    if (size > 0)
        scratch_.insert(scratch_.end(), data, data + size);
    if (size & 1)
        scratch_.push_back(0);
    if (!file_->WriteAll(scratch_.data(), scratch_.size()))
        return Fail("cannot write to " + path_);
    writePos_ += scratch_.size();
    dirty_ = true;
    return 0;
}

int AviWriter::WriteVideoFrame(const uint8_t* data, size_t size, bool keyFrame, int32_t frameTime)
{
    const uint64_t chunkPos = writePos_;
    if (WriteChunk(fourcc::kVideoChunk, data, size) != 0)
        return -1;
    index_.push_back({fourcc::kVideoChunk, keyFrame ? kIndexFlagKeyFrame : 0u,
                      static_cast<uint32_t>(chunkPos - (moviListPos_ + 8)), static_cast<uint32_t>(size)});
    if (videoFrames_ == 0)
        firstFrameTime_ = frameTime;
    lastFrameTime_ = frameTime;
    ++videoFrames_;
    largestVideoFrame_ = std::max(largestVideoFrame_, static_cast<uint32_t>(size));
    const bool firstFrame = videoFrames_ == 1;
    if (firstFrame || std::chrono::steady_clock::now() - lastSync_ >= std::chrono::milliseconds(setup_.syncIntervalMs))
        return MakeDurable();
    return 0;
}

int AviWriter::WriteAudio(const uint8_t* data, size_t size)
{
    if (!setup_.hasAudio)
        return -1;
    const uint64_t chunkPos = writePos_;
    if (WriteChunk(fourcc::kAudioChunk, data, size) != 0)
        return -1;
    index_.push_back({fourcc::kAudioChunk, kIndexFlagKeyFrame, static_cast<uint32_t>(chunkPos - (moviListPos_ + 8)),
                      static_cast<uint32_t>(size)});
    audioBytes_ += size;
    if (std::chrono::steady_clock::now() - lastSync_ >= std::chrono::milliseconds(setup_.syncIntervalMs))
        return MakeDurable();
    return 0;
}

bool AviWriter::PatchSizes()
{
    uint8_t word[4];
    PutLe32(word, static_cast<uint32_t>(writePos_ - 8));
    if (!file_->PwriteAll(word, 4, 4))
        return false;
    PutLe32(word, static_cast<uint32_t>(writePos_ - moviListPos_ - 8));
    return file_->PwriteAll(word, 4, moviListPos_ + 4);
}

int AviWriter::MakeDurable()
{
    lastSync_ = std::chrono::steady_clock::now();
    if (!dirty_)
        return 0;
    TimeMark mark;
    mark.firstFrameTime = firstFrameTime_;
    mark.lastFrameTime = lastFrameTime_;
    mark.videoFrames = videoFrames_;
    mark.kind = kind_;
    const auto bytes = mark.Serialize();
    if (videoFrames_ > 0 && WriteChunk(fourcc::kJunk, bytes.data(), bytes.size()) != 0)
        return -1;
    if (!PatchSizes())
        return Fail("cannot update sizes of " + path_);
    if (!file_->SyncData())
        return Fail("cannot sync " + path_);
    dirty_ = false;
    return 0;
}

int AviWriter::Finish(int32_t start, int32_t end)
{
    if (!file_->IsOpen())
        return -1;
    if (failed_ || !headersWritten_) {
        file_->Close();
        return -1;
    }
    bool ok = true;
    // movi ends here; idx1 follows.
    const uint64_t moviEnd = writePos_;
    if (!index_.empty()) {
        std::vector<uint8_t> idx;
        idx.reserve(8 + index_.size() * 16);
        AppendChunkHeader(idx, fourcc::kIdx1, static_cast<uint32_t>(index_.size() * 16));
        for (const auto& e : index_) {
            AppendLe32(idx, e.chunkId);
            AppendLe32(idx, e.flags);
            AppendLe32(idx, e.offset);
            AppendLe32(idx, e.size);
        }
        ok = file_->WriteAll(idx.data(), idx.size());
        if (ok)
            writePos_ += idx.size();
    }

    uint8_t word[4];
    PutLe32(word, static_cast<uint32_t>(moviEnd - moviListPos_ - 8));
    ok = ok && file_->PwriteAll(word, 4, moviListPos_ + 4);
    PutLe32(word, static_cast<uint32_t>(writePos_ - 8));
    ok = ok && file_->PwriteAll(word, 4, 4);

    AviMainHeader& main = setup_.mainHeader;
    AviStreamHeader& video = setup_.video.header;
    ApplySpanToHeaders(main, video, videoFrames_, largestVideoFrame_, start, end);
    const auto mainBytes = main.Serialize();
    const auto videoBytes = video.Serialize();
    ok = ok && file_->PwriteAll(mainBytes.data(), mainBytes.size(), mainHeaderPos_);
    ok = ok && file_->PwriteAll(videoBytes.data(), videoBytes.size(), videoHeaderPos_);
    if (setup_.hasAudio) {
        AviStreamHeader& audio = setup_.audio.header;
        audio.length = audio.sampleSize ? static_cast<uint32_t>(audioBytes_ / audio.sampleSize)
                                        : static_cast<uint32_t>(audioBytes_);
        const auto audioBytes = audio.Serialize();
        ok = ok && file_->PwriteAll(audioBytes.data(), audioBytes.size(), audioHeaderPos_);
    }
    ok = ok && file_->SyncData();
    if (!ok)
        Fail("cannot finish " + path_);
    fileSize_ = writePos_;
    if (file_->Close() != 0 && ok)
        ok = Fail("cannot close " + path_) == 0;
    index_.clear();
    index_.shrink_to_fit();
    return ok ? 0 : -1;
}

} // namespace vantry::common
