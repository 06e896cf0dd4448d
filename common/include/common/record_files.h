// Where record files live and what they are called.
//
//   <storage folder>/rdb.ndx                     the record index
//   <storage folder>/<%Y-%m-%d>/ztHHMMSSHHMMSSk.avi
//
// The name carries the local start and end time and the kind digit k (1 event, 0 normal).
// While a file is written its name carries the start time twice; finishing renames it.
#pragma once

#include <cstdint>
#include <string>

namespace vantry::common {

inline constexpr uint32_t kRecordKindNormal = 0;
inline constexpr uint32_t kRecordKindEvent = 1;

// "zt" + start "%H%M%S" + end "%H%M%S" + "1.avi" (event) or "0.avi".
std::string RecordFileName(int32_t start, int32_t end, uint32_t kind);
// "%Y-%m-%d" of t in local time.
std::string DayFolderName(int32_t t);
// Default storage folder of a camera (0-based index) below a data folder.
std::string DefaultStorageFolder(const std::string& dataFolder, int cameraIndex);

// Prepares a record folder by the probe-file rule, creating it level by level when missing.
bool PrepareRecordFolder(const std::string& folder);

// Path of a new segment started at now: the day folder of now (created on demand, the storage
// folder itself when that fails) + the name with start = end = now and kind 0.
std::string NewSegmentPath(const std::string& storageFolder, int32_t now);

struct RecordName {
    int startHour = 0, startMinute = 0, startSecond = 0;
    int endHour = 0, endMinute = 0, endSecond = 0;
    uint32_t kind = 0;
    bool IsWorkingName() const
    {
        return startHour == endHour && startMinute == endMinute && startSecond == endSecond;
    }
};

// Reads a record file name: it contains ".avi", positions 2-13 hold the two times and
// position 14 the kind digit. False for any other name.
bool ParseRecordFileName(const std::string& fileName, RecordName& out);
// Reads a "%Y-%m-%d" day folder name (digits at 0-3, 5-6, 8-9).
bool ParseDayFolderName(const std::string& name, int& year, int& month, int& day);
// Local calendar time to seconds since 1970; day may run past the month's end.
int32_t MakeLocalTime(int year, int month, int day, int hour, int minute, int second);
// Start and end of a record from its day folder date and its name; the end lies on the next
// day when its hour is smaller than the start hour.
void RecordTimesFromName(int year, int month, int day, const RecordName& name, int32_t& start, int32_t& end);

// path with the 15 characters before ".avi" replaced by the name part for start, end, kind.
// Empty when path has no such part.
std::string RenamedRecordPath(const std::string& path, int32_t start, int32_t end, uint32_t kind);

// Renames path to its final name; only when path exists and the new name does not.
// 0 on success (finalPath is the new path); -1 otherwise (finalPath stays path).
// syncFolder makes the new name durable at once.
int RenameRecordFile(const std::string& path, int32_t start, int32_t end, uint32_t kind, std::string& finalPath,
                     bool syncFolder = true);

} // namespace vantry::common
