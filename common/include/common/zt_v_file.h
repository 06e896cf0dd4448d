// The viewer's record file: the compressed stream received from the server, written without
// re-encoding into an AVI (handler IYUV, format VX01) with idx1, the headers rewritten at
// closing, the record information appended and the final name given.
#pragma once

#include "common/avi_writer.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vantry::common {

class CZtVFile {
public:
    CZtVFile() = default;
    ~CZtVFile(); // an open file is left as written so far, to be repaired later

    // Creates folder/Name(now, now, kind); start = end = now. 0 / -1.
    int Open(const std::string& folder, uint32_t kind);
    void SetNames(const std::string& siteName, const std::string& cameraName, uint32_t cameraIndex);
    // streamFormat: the bitmap header (40 bytes, plus a colour table for 4- and 8-bit
    // formats). 0 / -1; on failure the file is finished.
    int WriteHeaders(uint32_t handler, const std::vector<uint8_t>& streamFormat);
    // flags: 16 for a key frame, else 0. 0 / -1.
    int WriteFrame(const uint8_t* payload, size_t length, uint32_t flags);
    // True once a frame was written and the whole minutes from start to end exceed the limit.
    bool IsFull() const;
    // Finishes the file, appends the record information and renames it to its final name.
    // 0 / -1.
    int Close();

    static std::string Name(int32_t start, int32_t end, uint32_t kind);

    bool IsOpen() const { return writer_.IsOpen(); }
    void SetFileLengthLimit(int minutes) { fileLengthMinutes_ = minutes; }
    void SetStartTime(int32_t t) { start_ = t; }
    void SetEndTime(int32_t t) { end_ = t; }
    int32_t StartTime() const { return start_; }
    int32_t EndTime() const { return end_; }
    uint32_t Kind() const { return kind_; }
    uint32_t FrameCount() const { return writer_.VideoFrames(); }
    uint32_t LargestFrame() const { return writer_.LargestVideoFrame(); }
    uint64_t FileSize() const { return fileSize_; }
    const std::string& Path() const { return path_; }
    const std::string& LastError() const { return writer_.LastError(); }

private:
    AviWriter writer_;
    std::string path_;
    int32_t start_ = 0;
    int32_t end_ = 0;
    uint32_t kind_ = 0;
    int fileLengthMinutes_ = 60;
    uint64_t fileSize_ = 0;
    uint32_t cameraIndex_ = 0;
    std::string siteName_;
    std::string cameraName_;
};

} // namespace vantry::common
