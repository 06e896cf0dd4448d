// The record information appended to every record file as a second top-level RIFF form
// 'VANT' after the AVI form: LIST LENG (start, end, period count), LIST EVEN (motion periods)
// and LIST CAME (camera index, site name, camera name).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vantry::common {

struct MotionPeriod {
    uint32_t kind = 0;
    int32_t start = 0;
    int32_t end = 0;
};

struct RecordInfo {
    int32_t start = 0;
    int32_t end = 0;
    std::vector<MotionPeriod> periods;
    uint32_t cameraIndex = 0;
    std::string siteName;   // at most 63 characters are stored
    std::string cameraName; // at most 63 characters are stored
};

inline constexpr size_t kRecordInfoNameBytes = 64;

// The whole 'VANT' RIFF form, header included.
std::vector<uint8_t> SerializeRecordInfo(const RecordInfo& info);
// Parses a 'VANT' form (header included). Lists missing or cut leave their fields at defaults;
// false when the bytes are not a VANT form or LENG is missing.
bool ParseRecordInfo(const uint8_t* data, size_t size, RecordInfo& out);

// Writes the form right after the AVI form of path, replacing whatever followed it. 0 / -1.
int AppendRecordInfo(const std::string& path, const RecordInfo& info);
// Reads the form that follows the AVI form. 0 / -1 (no such form or not an AVI).
int ReadRecordInfo(const std::string& path, RecordInfo& out);

} // namespace vantry::common
