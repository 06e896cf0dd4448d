// Repair of record files that a crash, a power cut or a full disk left unfinished.
//
// The writer keeps a file readable up to its last durability point; after a crash the file
// may lack idx1, carry stale headers and end anywhere, even inside a chunk. Repair scans the
// movi chunks, keeps every complete frame (skipping damaged stretches), cuts what is
// incomplete, writes idx1, rewrites the headers for the span taken from the frames, appends
// the record information and renames the file to its final name. A file without one complete
// video frame is deleted. A finished file that still carries its working name (start = end)
// only gets its final name.
#pragma once

#include <cstdint>
#include <string>

namespace vantry::common {

enum class RepairResult {
    AlreadyFinished, // nothing to repair (it may have been renamed to its final name)
    Repaired,
    Deleted,      // no complete video frame: the file was deleted
    NoFrame,      // no complete video frame, kept because deleteWithoutFrames was off
    NotRecord,    // not an AVI of ours (left alone)
    InUse,        // a writer holds the file
    Failed,       // an I/O error; the file is left as it was found or repairable again
};

const char* RepairResultText(RepairResult result);

struct RepairOptions {
    bool deleteWithoutFrames = true;
    bool rename = true;
    bool durable = true; // fdatasync the repaired file before renaming it
    // Written into the record information of a repaired file.
    uint32_t cameraIndex = 0;
    std::string siteName;
    std::string cameraName;
};

struct RepairOutcome {
    RepairResult result = RepairResult::Failed;
    std::string path; // final path
    int32_t start = 0;
    int32_t end = 0;
    uint32_t kind = 0;
    uint32_t videoFrames = 0;
    uint32_t audioChunks = 0;
    uint64_t fileSize = 0;
    uint64_t skippedBytes = 0; // damaged bytes stepped over inside movi
};

RepairOutcome RepairRecord(const std::string& path, const RepairOptions& options = {});

} // namespace vantry::common
