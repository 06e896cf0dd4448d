// The end of a recording segment: the file is finished (headers for the segment's span), given
// its final name, gets its record information and enters the record index. Files that hold
// nothing worth keeping are deleted. Diagnostic texts for the text log are handed back rather
// than written, so that each program logs them its own way.
#pragma once

#include "common/record_info.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vantry::common {

class AviWriter;
class RecordIndex;

struct SegmentEnd {
    std::string path;            // the working path (start time twice in the name)
    int32_t start = 0;           // segment start
    int32_t now = 0;             // the clock when the segment ends
    bool eventMode = false;      // recording in event mode
    bool eventRecorded = false;  // an event was recorded into this file
    uint32_t cameraIndex = 0;
    std::string siteName;
    std::string cameraName;
    std::vector<MotionPeriod> periods; // motion periods of the segment
};

enum class SegmentResult {
    Indexed, // renamed (or kept under its working name), informed and added to the index
    Deleted, // nothing worth keeping: an event-mode file without an event, an empty or broken file
    Refused, // kept on disk but not added (its start is already covered by another record)
};

struct SegmentOutcome {
    SegmentResult result = SegmentResult::Deleted;
    std::string path; // final path
    int32_t end = 0;
    uint32_t kind = 0;
    std::vector<std::string> logLines; // for the diagnostic text log
};

// writer: the segment's open writer, finished here for the span start..end; may be null when
// the file was written and closed elsewhere.
SegmentOutcome FinishRecordSegment(const SegmentEnd& segment, AviWriter* writer, RecordIndex& index);

} // namespace vantry::common
