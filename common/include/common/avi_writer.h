// The one AVI writer of the suite: the station's recorder (VX01 video, optionally GSM 6.10
// audio interleaved in time) and the viewer's recorder (VX01 video alone) both write through it.
//
// Layout: RIFF 'AVI ' { LIST hdrl { avih, LIST strl { strh, strf } [, LIST strl { strh, strf }] },
// LIST movi { 00dc / 01wb chunks, JUNK time marks }, idx1 }, every chunk padded to even length.
// The headers are rewritten when the file is finished.
//
// A recorder may die at any moment, so the writer never leaves more than syncIntervalMs of
// recording in volatile memory: at each durability point it appends a time mark, brings the
// RIFF and movi sizes up to date and calls fdatasync. A file left unfinished is therefore a
// readable AVI up to its last durability point, and RepairRecord turns it into a finished one.
// While open the file is locked (flock) so that a rebuild or repair leaves it alone.
//
// One writer is used from one thread at a time: a recorder that receives video and audio on
// two streaming threads serialises its calls (and so decides the interleaving).
#pragma once

#include "common/avi_format.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vantry::common {

namespace detail {
class FileHandle;
}

struct AviStreamSetup {
    AviStreamHeader header;
    std::vector<uint8_t> format; // strf payload
};

struct AviWriterSetup {
    AviMainHeader mainHeader;
    AviStreamSetup video;
    bool hasAudio = false;
    AviStreamSetup audio;
    int syncIntervalMs = 2000;
};

// The station's layout: VX01 video at the given rate, GSM 6.10 (WAV49) audio when asked.
AviWriterSetup StationAviSetup(int width, int height, int framesPerSecond, bool withAudio);

// Headers of a finished file spanning start..end seconds (a non-positive span counts as 1):
// microseconds per frame, data rate, buffer size and frame count in the main header; scale 100,
// rate frames x 100 / span (at least 1) and length = frames in the video stream header.
void ApplySpanToHeaders(AviMainHeader& main, AviStreamHeader& video, uint32_t frames, uint32_t largestFrame,
                        int32_t start, int32_t end);

struct AviIndexEntry {
    uint32_t chunkId = 0;
    uint32_t flags = 0;
    uint32_t offset = 0; // of the chunk header, from the 'movi' identifier
    uint32_t size = 0;
};

class AviWriter {
public:
    AviWriter();
    ~AviWriter(); // closes without finishing: the file stays repairable
    AviWriter(const AviWriter&) = delete;
    AviWriter& operator=(const AviWriter&) = delete;

    // Creates path (never replacing an existing file) and writes the headers. 0 / -1.
    int Open(const std::string& path, const AviWriterSetup& setup);
    // The two steps of Open, for a recorder that learns the stream format after creating.
    int Create(const std::string& path);
    int WriteHeaders(const AviWriterSetup& setup);
    // Closes without finishing, as a crash would (the file stays repairable).
    void Abandon();
    // frameTime: seconds since 1970 of the picture, kept for dating an unfinished file.
    int WriteVideoFrame(const uint8_t* data, size_t size, bool keyFrame, int32_t frameTime);
    int WriteAudio(const uint8_t* data, size_t size);
    // Kind carried by the time marks (1 once an event was recorded into the file).
    void SetKind(uint32_t kind) { kind_ = kind; }

    // Closes movi, writes idx1 (when a frame was written), closes the RIFF form and rewrites
    // the headers for the span start..end. 0 / -1; the file is closed in both cases.
    int Finish(int32_t start, int32_t end);

    bool IsOpen() const;
    const std::string& Path() const { return path_; }
    uint32_t VideoFrames() const { return videoFrames_; }
    uint32_t LargestVideoFrame() const { return largestVideoFrame_; }
    uint64_t AudioBytes() const { return audioBytes_; }
    uint64_t FileSize() const { return fileSize_; }
    const AviMainHeader& MainHeader() const { return setup_.mainHeader; }
    const AviStreamHeader& VideoHeader() const { return setup_.video.header; }
    const std::string& LastError() const { return lastError_; }

    // Room left below the 32-bit offsets of idx1; a recorder starts a new file before it.
    static constexpr uint64_t kMaxFileBytes = 0xF0000000ull;

private:
    int WriteChunk(uint32_t id, const uint8_t* data, size_t size);
    int Fail(const std::string& what);
    int MakeDurable();
    bool PatchSizes();

    std::unique_ptr<detail::FileHandle> file_;
    std::string path_;
    std::string lastError_;
    AviWriterSetup setup_;
    uint64_t mainHeaderPos_ = 0;
    uint64_t videoHeaderPos_ = 0;
    uint64_t audioHeaderPos_ = 0;
    uint64_t moviListPos_ = 0; // position of "LIST" of movi
    uint64_t writePos_ = 0;
    uint64_t fileSize_ = 0;
    std::vector<AviIndexEntry> index_;
    std::vector<uint8_t> scratch_;
    uint32_t videoFrames_ = 0;
    uint32_t largestVideoFrame_ = 0;
    uint64_t audioBytes_ = 0;
    uint32_t kind_ = 0;
    int32_t firstFrameTime_ = 0;
    int32_t lastFrameTime_ = 0;
    bool failed_ = false;
    bool dirty_ = false;
    bool headersWritten_ = false;
    std::chrono::steady_clock::time_point lastSync_{};
};

} // namespace vantry::common
