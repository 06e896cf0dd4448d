// The record index of one storage folder: a calendar tree (years, months, days, records) of
// every record file with its times and size, kept in memory and saved as "rdb.ndx".
//
// File layout (little-endian): a 56-byte header, all year nodes (40 bytes each), then for each
// year its month nodes, for each month its day nodes, for each day its 288-byte records;
// node arrays are written with their count, not their capacity.
//
// Used on one thread (the user-interface thread of the station or the viewer).
#pragma once

#include "common/record_repair.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vantry::common {

struct IndexRecord {
    std::string path; // at most 259 bytes
    uint32_t kind = 0;
    int32_t start = 0;
    int32_t end = 0;
    uint64_t size = 0;
};

struct IndexNode {
    uint16_t key = 0; // year, month 1..12 or day 1..31
    int32_t start = 0; // smallest non-zero start below (0 = none)
    int32_t end = 0;   // largest end below
    uint64_t bytes = 0;
    uint32_t capacity = 0;
};

struct DayNode : IndexNode {
    std::vector<IndexRecord> records;
};

struct MonthNode : IndexNode {
    std::vector<DayNode> days;
};

struct YearNode : IndexNode {
    std::vector<MonthNode> months;
};

struct IndexHeader {
    uint32_t version = 100;
    int32_t earliestStart = 0;
    int32_t latestEnd = 0;
    uint64_t totalBytes = 0;
    uint32_t yearCapacity = 2;
    uint32_t modified = 0;
    int32_t created = 0;
    int32_t saved = 0;
};

struct RecordPosition {
    size_t year = 0;
    size_t month = 0;
    size_t day = 0;
    size_t record = 0;
};

// What the last rebuild or folder check did with the files it found.
struct FolderScanStats {
    size_t added = 0;
    size_t repaired = 0;
    size_t deleted = 0;
    size_t skipped = 0;
};

class RecordIndex {
public:
    static constexpr uint32_t kVersion = 100;
    static constexpr size_t kHeaderBytes = 56;
    static constexpr size_t kNodeBytes = 40;
    static constexpr size_t kRecordBytes = 288;
    static constexpr size_t kPathBytes = 260;
    static constexpr uint32_t kYearCapacityStart = 2;
    static constexpr uint32_t kYearCapacityStep = 2;
    static constexpr uint32_t kMonthCapacity = 12;
    static constexpr uint32_t kDayCapacity = 31;
    static constexpr uint32_t kRecordCapacityStart = 16;
    static constexpr uint32_t kRecordCapacityStep = 31;
    static constexpr const char* kIndexFileName = "rdb.ndx";

    RecordIndex();

    // Loads the index of storageFolder, or rebuilds it from the folder and saves it. After a
    // successful load the folder is also checked for record files the index misses (written
    // after the last save, or left unfinished by a crash); those are repaired and added.
    // 1 on success; 0 restores the previous tree and folder.
    int Open(const std::string& storageFolder);
    // Takes storageFolder as the index's folder without loading anything (for a rebuild that
    // is to replace whatever index the folder holds).
    void SetStorageFolder(const std::string& storageFolder);
    // What a repair during a scan writes into the record information of the files it mends
    // (the camera and site names of the folder's camera).
    void SetRepairOptions(const RepairOptions& options) { repairOptions_ = options; }
    // Loads the file again, or rebuilds from the folder without saving. 1 / 0.
    int Reload();
    // Writes the tree through "rdb.ndx1" and renames it over "rdb.ndx". 1 / 0.
    int Save();
    // Loads the index file; the tree changes only when the whole file was read. 1 / 0.
    int Load();
    // The same from bytes (the whole file content).
    int LoadFromBytes(const uint8_t* data, size_t size);
    std::vector<uint8_t> Serialize() const;
    // A new tree from the record files of the storage folder; unfinished files are repaired.
    int Rebuild();

    // 1 added; -1 refused (start already covered, start >= end or size 0, path too long).
    // A record with start >= end or size 0 has its file deleted.
    int Add(const IndexRecord& record);
    std::optional<RecordPosition> Find(int32_t time) const;
    const IndexRecord* RecordAt(const RecordPosition& position) const;
    // 1 when a record (or day) was removed, 0 when none contains time.
    int RemoveRecord(int32_t time, bool deleteFile);
    int RemoveDay(int32_t time, bool deleteFiles);
    int RemoveAll(bool deleteFiles);
    // Removes (and deletes the files of) the earliest records while they start before time.
    // Returns the number removed.
    int RemoveOlderThan(int32_t time);

    int32_t EarliestStart() const { return header_.earliestStart; }
    int32_t LatestEnd() const { return header_.latestEnd; }
    uint64_t TotalBytes() const { return header_.totalBytes; }
    bool IsEmpty() const { return !hasTree_ || header_.earliestStart >= header_.latestEnd; }
    bool IsModified() const { return header_.modified != 0; }

    const IndexHeader& Header() const { return header_; }
    const std::vector<YearNode>& Years() const { return years_; }
    std::vector<IndexRecord> Records() const; // in calendar order
    size_t RecordCount() const;
    const std::string& StorageFolder() const { return storageFolder_; }
    std::string IndexPath() const;
    const FolderScanStats& LastScan() const { return lastScan_; }

private:
    struct Tree {
        IndexHeader header;
        std::vector<YearNode> years;
        bool hasTree = false;
    };
    Tree TakeTree();
    void RestoreTree(Tree tree);
    void ResetTree();
    void RecomputeUpwards(size_t year, size_t month);
    void RecomputeHeader();
    int ScanFolder(bool onlyMissing);
    void ScanRootFile(const std::string& path, const std::string& fileName, bool onlyMissing,
                      const std::vector<std::string>& known);
    void ScanFile(int year, int month, int day, const std::string& path, const std::string& fileName,
                  bool onlyMissing, const std::vector<std::string>& known);

    std::string storageFolder_;
    RepairOptions repairOptions_;
    IndexHeader header_;
    std::vector<YearNode> years_;
    bool hasTree_ = false;
    // Insert cursor: the day of the last insertion, so that a run of records of one day skips
    // the searches.
    std::optional<RecordPosition> cursor_;
    FolderScanStats lastScan_;
};

} // namespace vantry::common
