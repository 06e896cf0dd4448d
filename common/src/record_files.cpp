#include "common/record_files.h"

#include "common/folder_prep.h"

#include "record_file_io.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace vantry::common {

namespace {

std::string FormatLocal(int32_t t, const char* format)
{
    const time_t value = t;
    struct tm local {};
    if (localtime_r(&value, &local) == nullptr)
        return {};
    char buffer[64];
    const size_t n = std::strftime(buffer, sizeof buffer, format, &local);
    return std::string(buffer, n);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int TwoDigits(const std::string& s, size_t pos) { return (s[pos] - '0') * 10 + (s[pos + 1] - '0'); }

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

} // namespace

std::string RecordFileName(int32_t start, int32_t end, uint32_t kind)
{
    return "zt" + FormatLocal(start, "%H%M%S") + FormatLocal(end, "%H%M%S") + (kind == kRecordKindEvent ? "1.avi" : "0.avi");
}

std::string DayFolderName(int32_t t) { return FormatLocal(t, "%Y-%m-%d"); }

std::string DefaultStorageFolder(const std::string& dataFolder, int cameraIndex)
{
    char name[32];
    std::snprintf(name, sizeof name, "camera%02d", cameraIndex + 1);
    return dataFolder + "/records/" + name;
}

bool PrepareRecordFolder(const std::string& folder)
{
    return prepareFolder(folder);
}

std::string NewSegmentPath(const std::string& storageFolder, int32_t now)
{
    const std::string day = storageFolder + "/" + DayFolderName(now);
    const std::string folder = PrepareRecordFolder(day) ? day : storageFolder;
    return folder + "/" + RecordFileName(now, now, kRecordKindNormal);
}

bool ParseRecordFileName(const std::string& fileName, RecordName& out)
{
    if (fileName.find(".avi") == std::string::npos || fileName.size() < 15)
        return false;
    for (size_t i = 2; i <= 14; ++i)
        if (!IsDigit(fileName[i]))
            return false;
    RecordName name;
    name.startHour = TwoDigits(fileName, 2);
    name.startMinute = TwoDigits(fileName, 4);
    name.startSecond = TwoDigits(fileName, 6);
    name.endHour = TwoDigits(fileName, 8);
    name.endMinute = TwoDigits(fileName, 10);
    name.endSecond = TwoDigits(fileName, 12);
    const int kind = fileName[14] - '0';
    if (kind > 1 || name.startHour > 23 || name.endHour > 23 || name.startMinute > 59 || name.endMinute > 59
        || name.startSecond > 60 || name.endSecond > 60)
        return false;
    name.kind = static_cast<uint32_t>(kind);
    out = name;
    return true;
}

bool ParseDayFolderName(const std::string& name, int& year, int& month, int& day)
{
    if (name.size() < 10)
        return false;
    for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9})
        if (!IsDigit(name[i]))
            return false;
    year = TwoDigits(name, 0) * 100 + TwoDigits(name, 2);
    month = TwoDigits(name, 5);
    day = TwoDigits(name, 8);
    return month >= 1 && month <= 12 && day >= 1 && day <= 31 && year >= 1970;
}

int32_t MakeLocalTime(int year, int month, int day, int hour, int minute, int second)
{
    struct tm local {};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    return static_cast<int32_t>(mktime(&local));
}

void RecordTimesFromName(int year, int month, int day, const RecordName& name, int32_t& start, int32_t& end)
{
    start = MakeLocalTime(year, month, day, name.startHour, name.startMinute, name.startSecond);
    const int endDay = name.endHour < name.startHour ? day + 1 : day;
    end = MakeLocalTime(year, month, endDay, name.endHour, name.endMinute, name.endSecond);
}

std::string RenamedRecordPath(const std::string& path, int32_t start, int32_t end, uint32_t kind)
{
    const size_t extension = path.rfind(".avi");
    const size_t slash = path.find_last_of('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    if (extension == std::string::npos || extension < nameStart + 15)
        return {};
    const std::string part = RecordFileName(start, end, kind).substr(0, 15);
    return path.substr(0, extension - 15) + part + path.substr(extension);
}

int RenameRecordFile(const std::string& path, int32_t start, int32_t end, uint32_t kind, std::string& finalPath,
                     bool syncFolder)
{
    finalPath = path;
    const std::string target = RenamedRecordPath(path, start, end, kind);
    if (target.empty())
        return -1;
    if (target == path)
        return 0;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return -1;
    // link + unlink refuses an existing target atomically, where rename would replace it.
    if (::link(path.c_str(), target.c_str()) != 0) {
        if (errno == EEXIST)
            return -1;
        if (::lstat(target.c_str(), &st) == 0 || ::rename(path.c_str(), target.c_str()) != 0)
            return -1; // file systems without hard links fall back to a checked rename
    } else {
        ::unlink(path.c_str());
    }
    if (syncFolder)
        detail::SyncFolder(FolderOf(target));
    finalPath = target;
    return 0;
}

} // namespace vantry::common
