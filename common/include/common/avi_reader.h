// Reads what our programs need from an AVI record file: the main and stream headers, frame
// count and duration, whether the file was finished, and the record information that follows.
// Every size read from the file is checked against the file; a hostile file gives an error.
#pragma once

#include "common/avi_format.h"
#include "common/record_info.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vantry::common {

enum class AviState {
    NotAvi,     // no RIFF 'AVI ' form, or its headers cannot be read
    Unfinished, // headers readable, but movi, idx1 or the form itself is incomplete
    Finished,
};

struct AviStreamInfo {
    AviStreamHeader header;
    std::vector<uint8_t> format; // strf payload
    uint64_t headerPos = 0;      // file position of the strh payload
};

struct AviFileInfo {
    AviState state = AviState::NotAvi;
    AviMainHeader mainHeader;
    uint64_t mainHeaderPos = 0; // file position of the avih payload
    std::vector<AviStreamInfo> streams;
    uint64_t fileSize = 0;
    uint64_t riffEnd = 0;      // declared end of the AVI form (may exceed fileSize)
    uint64_t moviListPos = 0;  // position of "LIST" of movi, 0 when none
    uint64_t moviEnd = 0;      // declared end of the movi list
    bool hasIndex = false;     // a complete idx1 follows movi
    uint32_t indexEntries = 0;
    bool hasRecordInfo = false;
    RecordInfo recordInfo;

    uint32_t FrameCount() const { return mainHeader.totalFrames; }
    // total frames x microseconds per frame, in seconds.
    double DurationSeconds() const;
    // The first video stream, or nullptr.
    const AviStreamInfo* VideoStream() const;
    const AviStreamInfo* AudioStream() const;
};

// 0 when the headers were read (state Unfinished or Finished), -1 otherwise.
int ReadAviFile(const std::string& path, AviFileInfo& out);

} // namespace vantry::common
