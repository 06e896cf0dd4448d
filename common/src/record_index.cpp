#include "common/record_index.h"

#include "common/avi_format.h"
#include "common/avi_reader.h"
#include "common/record_files.h"
#include "common/record_repair.h"
#include "record_file_io.h"

#include <algorithm>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace vantry::common {

namespace {

// Far above any real index (a record every minute for years); bounds what a hostile file costs.
constexpr uint64_t kMaxIndexFileBytes = 512ull << 20;
// No record file comes near a terabyte; larger sizes are damage and would overflow the sums.
constexpr uint64_t kMaxRecordBytes = 1ull << 40;

struct LocalDate {
    int year = 0;
    int month = 0;
    int day = 0;
};

bool DateOf(int32_t t, LocalDate& out)
{
    const time_t value = t;
    struct tm local {};
    if (localtime_r(&value, &local) == nullptr)
        return false;
    out.year = local.tm_year + 1900;
    out.month = local.tm_mon + 1;
    out.day = local.tm_mday;
    return out.year >= 0 && out.year <= 0xffff;
}

int32_t Now() { return static_cast<int32_t>(std::time(nullptr)); }

void Include(IndexNode& node, int32_t start, int32_t end)
{
    if (start != 0 && (node.start == 0 || start < node.start))
        node.start = start;
    if (end > node.end)
        node.end = end;
}

template <typename Node>
size_t LowerBoundKey(const std::vector<Node>& nodes, uint16_t key)
{
    return static_cast<size_t>(std::lower_bound(nodes.begin(), nodes.end(), key,
                                                [](const Node& n, uint16_t k) { return n.key < k; })
                               - nodes.begin());
}

// Start and end of a level from its children with a non-zero start.
template <typename Child>
void RecomputeRange(IndexNode& node, const std::vector<Child>& children)
{
    node.start = 0;
    node.end = 0;
    for (const auto& child : children)
        if (child.start != 0)
            Include(node, child.start, child.end);
}

void RecomputeDay(DayNode& day)
{
    day.start = 0;
    day.end = 0;
    day.bytes = 0;
    for (const auto& r : day.records) {
        Include(day, r.start, r.end);
        day.bytes += r.size;
    }
    if (day.records.empty())
        day.capacity = 0; // the array is freed; the empty day node itself stays
}

void PutNode(std::vector<uint8_t>& out, const IndexNode& node, size_t count)
{
    uint8_t b[RecordIndex::kNodeBytes] = {};
    PutLe32(b, node.key);
    PutLe32(b + 4, static_cast<uint32_t>(node.start));
    PutLe32(b + 8, static_cast<uint32_t>(node.end));
    PutLe64(b + 16, node.bytes);
    PutLe32(b + 24, static_cast<uint32_t>(count));
    PutLe32(b + 28, std::max<uint32_t>(node.capacity, static_cast<uint32_t>(count)));
    // offset 32: the in-memory child pointer of the original layout, always written as 0
    out.insert(out.end(), b, b + sizeof b);
}

void PutRecord(std::vector<uint8_t>& out, const IndexRecord& record)
{
    uint8_t b[RecordIndex::kRecordBytes] = {};
    const size_t n = std::min(record.path.size(), RecordIndex::kPathBytes - 1);
    std::copy_n(record.path.begin(), n, b);
    PutLe32(b + 260, record.kind);
    PutLe32(b + 264, static_cast<uint32_t>(record.start));
    PutLe32(b + 268, static_cast<uint32_t>(record.end));
    PutLe64(b + 272, record.size);
    out.insert(out.end(), b, b + sizeof b);
}

// Sequential reader over the index bytes; every read is checked against what is left.
class IndexReader {
public:
    IndexReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    const uint8_t* Take(size_t n)
    {
        if (n > size_ - pos_)
            return nullptr;
        const uint8_t* p = data_ + pos_;
        pos_ += n;
        return p;
    }
    size_t Left() const { return size_ - pos_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

struct RawNode {
    IndexNode node;
    uint32_t count = 0;
};

bool ReadNodes(IndexReader& reader, uint32_t count, uint32_t maxKey, std::vector<RawNode>& out)
{
    if (count > reader.Left() / RecordIndex::kNodeBytes)
        return false;
    out.clear();
    out.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* p = reader.Take(RecordIndex::kNodeBytes);
        RawNode raw;
        const uint32_t key = GetLe32(p) & (maxKey > 0xff ? 0xffffu : 0xffu);
        raw.node.key = static_cast<uint16_t>(key);
        raw.count = GetLe32(p + 24);
        raw.node.capacity = GetLe32(p + 28);
        // Keys ascend strictly and lie in range; counts never exceed capacities.
        if (key == 0 || key > maxKey || (!out.empty() && key <= out.back().node.key) || raw.count > raw.node.capacity)
            return false;
        out.push_back(raw);
    }
    return true;
}

} // namespace

RecordIndex::RecordIndex() { ResetTree(); hasTree_ = false; }

std::string RecordIndex::IndexPath() const { return storageFolder_ + "/" + kIndexFileName; }

void RecordIndex::ResetTree()
{
    header_ = IndexHeader{};
    header_.created = header_.saved = Now();
    years_.clear();
    cursor_.reset();
    hasTree_ = true;
}

RecordIndex::Tree RecordIndex::TakeTree()
{
    Tree tree{header_, std::move(years_), hasTree_};
    years_.clear();
    cursor_.reset();
    return tree;
}

void RecordIndex::RestoreTree(Tree tree)
{
    header_ = tree.header;
    years_ = std::move(tree.years);
    hasTree_ = tree.hasTree;
    cursor_.reset();
}

void RecordIndex::SetStorageFolder(const std::string& storageFolder)
{
    storageFolder_ = storageFolder;
    while (storageFolder_.size() > 1 && storageFolder_.back() == '/')
        storageFolder_.pop_back();
}

int RecordIndex::Open(const std::string& storageFolder)
{
    const std::string oldFolder = storageFolder_;
    Tree old = TakeTree();
    SetStorageFolder(storageFolder);
    PrepareRecordFolder(storageFolder_);
    if (Load()) {
        // Records finished after the last save, or left unfinished by a crash, are on disk but
        // not in the file; find them now rather than never recycling them.
        ScanFolder(true);
        if (IsModified())
            Save();
        return 1;
    }
    if (Rebuild() && Save())
        return 1;
    storageFolder_ = oldFolder;
    RestoreTree(std::move(old));
    return 0;
}

int RecordIndex::Reload()
{
    if (Load())
        return 1;
    return Rebuild();
}

int RecordIndex::Load()
{
    std::vector<uint8_t> bytes;
    if (storageFolder_.empty() || !detail::ReadWholeFile(IndexPath(), bytes, kMaxIndexFileBytes))
        return 0;
    return LoadFromBytes(bytes.data(), bytes.size());
}

int RecordIndex::LoadFromBytes(const uint8_t* data, size_t size)
{
    IndexReader reader(data, size);
    const uint8_t* h = reader.Take(kHeaderBytes);
    if (h == nullptr || GetLe32(h) != kVersion)
        return 0;
    IndexHeader header;
    header.yearCapacity = GetLe32(h + 28);
    header.modified = GetLe32(h + 32);
    header.created = static_cast<int32_t>(GetLe32(h + 44));
    header.saved = static_cast<int32_t>(GetLe32(h + 48));
    const uint32_t yearCount = GetLe32(h + 24);
    if (yearCount > header.yearCapacity)
        return 0;

    std::vector<RawNode> rawYears, rawMonths, rawDays;
    if (!ReadNodes(reader, yearCount, 0xffff, rawYears))
        return 0;
    std::vector<YearNode> years(rawYears.size());
    for (size_t y = 0; y < rawYears.size(); ++y) {
        YearNode& year = years[y];
        static_cast<IndexNode&>(year) = rawYears[y].node;
        if (!ReadNodes(reader, rawYears[y].count, kMonthCapacity, rawMonths))
            return 0;
        year.months.resize(rawMonths.size());
        for (size_t m = 0; m < rawMonths.size(); ++m) {
            MonthNode& month = year.months[m];
            static_cast<IndexNode&>(month) = rawMonths[m].node;
            if (!ReadNodes(reader, rawMonths[m].count, kDayCapacity, rawDays))
                return 0;
            month.days.resize(rawDays.size());
            for (size_t d = 0; d < rawDays.size(); ++d) {
                DayNode& day = month.days[d];
                static_cast<IndexNode&>(day) = rawDays[d].node;
                const uint32_t count = rawDays[d].count;
                if (count > reader.Left() / kRecordBytes)
                    return 0;
                day.records.reserve(count);
                for (uint32_t r = 0; r < count; ++r) {
                    const uint8_t* p = reader.Take(kRecordBytes);
                    IndexRecord record;
                    size_t length = 0;
                    while (length < kPathBytes - 1 && p[length] != 0)
                        ++length;
                    record.path.assign(reinterpret_cast<const char*>(p), length);
                    record.kind = GetLe32(p + 260);
                    record.start = static_cast<int32_t>(GetLe32(p + 264));
                    record.end = static_cast<int32_t>(GetLe32(p + 268));
                    record.size = GetLe64(p + 272);
                    // Records ascend by start and each spans some time, as Add guarantees.
                    if (record.start <= 0 || record.start >= record.end || record.size > kMaxRecordBytes
                        || (!day.records.empty() && record.start < day.records.back().start))
                        return 0;
                    day.records.push_back(std::move(record));
                }
                RecomputeDay(day);
                day.capacity = std::max(rawDays[d].node.capacity, count);
            }
            RecomputeRange(month, month.days);
            month.bytes = 0;
            for (const auto& day : month.days)
                month.bytes += day.bytes;
        }
        RecomputeRange(year, year.months);
        year.bytes = 0;
        for (const auto& month : year.months)
            year.bytes += month.bytes;
    }
    header_ = header;
    years_ = std::move(years);
    hasTree_ = true;
    cursor_.reset();
    // Sums are derived from the records rather than trusted: a damaged sum must not make
    // recycling loop or skip.
    RecomputeHeader();
    return 1;
}

std::vector<uint8_t> RecordIndex::Serialize() const
{
    std::vector<uint8_t> out;
    out.reserve(kHeaderBytes + RecordCount() * kRecordBytes + 4096);
    uint8_t h[kHeaderBytes] = {};
    PutLe32(h, kVersion);
    PutLe32(h + 4, static_cast<uint32_t>(header_.earliestStart));
    PutLe32(h + 8, static_cast<uint32_t>(header_.latestEnd));
    PutLe64(h + 16, header_.totalBytes);
    PutLe32(h + 24, static_cast<uint32_t>(years_.size()));
    PutLe32(h + 28, std::max<uint32_t>(header_.yearCapacity, static_cast<uint32_t>(years_.size())));
    PutLe32(h + 32, header_.modified);
    PutLe32(h + 44, static_cast<uint32_t>(header_.created));
    PutLe32(h + 48, static_cast<uint32_t>(header_.saved));
    out.insert(out.end(), h, h + sizeof h);
    for (const auto& year : years_)
        PutNode(out, year, year.months.size());
    for (const auto& year : years_) {
        for (const auto& month : year.months)
            PutNode(out, month, month.days.size());
        for (const auto& month : year.months) {
            for (const auto& day : month.days)
                PutNode(out, day, day.records.size());
            for (const auto& day : month.days)
                for (const auto& record : day.records)
                    PutRecord(out, record);
        }
    }
    return out;
}

int RecordIndex::Save()
{
    if (storageFolder_.empty())
        return 0;
    header_.saved = Now();
    const std::vector<uint8_t> bytes = Serialize();
    const std::string temporary = IndexPath() + "1";
    detail::FileHandle file;
    bool ok = file.Open(temporary, O_WRONLY | O_CREAT | O_TRUNC) && file.WriteAll(bytes.data(), bytes.size())
        && ::fsync(file.fd()) == 0;
    ok = file.Close() == 0 && ok;
    // rename replaces the old index in one step, so a crash never leaves the folder without one.
    if (!ok || ::rename(temporary.c_str(), IndexPath().c_str()) != 0) {
        ::unlink(temporary.c_str());
        return 0;
    }
    detail::SyncFolder(storageFolder_);
    header_.modified = 0;
    return 1;
}

std::optional<RecordPosition> RecordIndex::Find(int32_t time) const
{
    auto covers = [time](const IndexNode& n) { return n.start != 0 && n.start <= time && time < n.end; };
    for (size_t y = 0; y < years_.size(); ++y) {
        if (!covers(years_[y]))
            continue;
        const auto& months = years_[y].months;
        for (size_t m = 0; m < months.size(); ++m) {
            if (!covers(months[m]))
                continue;
            const auto& days = months[m].days;
            for (size_t d = 0; d < days.size(); ++d) {
                if (!covers(days[d]))
                    continue;
                const auto& records = days[d].records;
                // Records ascend by start: only those starting at or before time can cover it.
                size_t r = static_cast<size_t>(std::upper_bound(records.begin(), records.end(), time,
                                                                [](int32_t t, const IndexRecord& rec) { return t < rec.start; })
                                               - records.begin());
                while (r-- > 0)
                    if (time < records[r].end)
                        return RecordPosition{y, m, d, r};
            }
        }
    }
    return std::nullopt;
}

const IndexRecord* RecordIndex::RecordAt(const RecordPosition& p) const
{
    if (p.year >= years_.size() || p.month >= years_[p.year].months.size()
        || p.day >= years_[p.year].months[p.month].days.size()
        || p.record >= years_[p.year].months[p.month].days[p.day].records.size())
        return nullptr;
    return &years_[p.year].months[p.month].days[p.day].records[p.record];
}

int RecordIndex::Add(const IndexRecord& record)
{
    if (Find(record.start))
        return -1;
    if (record.start >= record.end || record.size == 0) {
        if (!record.path.empty())
            ::unlink(record.path.c_str());
        return -1;
    }
    LocalDate date;
    // A start of 0 would read as "none" in the sums and could never be found again.
    if (record.start <= 0 || record.path.size() >= kPathBytes || !DateOf(record.start, date))
        return -1;
    if (!hasTree_)
        ResetTree();

    RecordPosition at;
    const auto yearKey = static_cast<uint16_t>(date.year);
    const auto monthKey = static_cast<uint16_t>(date.month);
    const auto dayKey = static_cast<uint16_t>(date.day);
    if (cursor_ && cursor_->year < years_.size() && years_[cursor_->year].key == yearKey
        && cursor_->month < years_[cursor_->year].months.size() && years_[cursor_->year].months[cursor_->month].key == monthKey
        && cursor_->day < years_[cursor_->year].months[cursor_->month].days.size()
        && years_[cursor_->year].months[cursor_->month].days[cursor_->day].key == dayKey) {
        at = *cursor_;
    } else {
        at.year = LowerBoundKey(years_, yearKey);
        if (at.year == years_.size() || years_[at.year].key != yearKey) {
            if (years_.size() >= header_.yearCapacity)
                header_.yearCapacity += kYearCapacityStep;
            YearNode year;
            year.key = yearKey;
            year.capacity = kMonthCapacity;
            years_.insert(years_.begin() + static_cast<long>(at.year), std::move(year));
        }
        auto& months = years_[at.year].months;
        at.month = LowerBoundKey(months, monthKey);
        if (at.month == months.size() || months[at.month].key != monthKey) {
            MonthNode month;
            month.key = monthKey;
            month.capacity = kDayCapacity;
            months.insert(months.begin() + static_cast<long>(at.month), std::move(month));
        }
        auto& days = months[at.month].days;
        at.day = LowerBoundKey(days, dayKey);
        if (at.day == days.size() || days[at.day].key != dayKey) {
            DayNode day;
            day.key = dayKey;
            days.insert(days.begin() + static_cast<long>(at.day), std::move(day));
        }
        cursor_ = at;
    }

    YearNode& year = years_[at.year];
    MonthNode& month = year.months[at.month];
    DayNode& day = month.days[at.day];
    if (day.capacity == 0)
        day.capacity = kRecordCapacityStart;
    else if (day.records.size() >= day.capacity)
        day.capacity += kRecordCapacityStep;
    const auto position = std::upper_bound(day.records.begin(), day.records.end(), record.start,
                                           [](int32_t s, const IndexRecord& r) { return s < r.start; });
    day.records.insert(position, record);
    for (IndexNode* node : {static_cast<IndexNode*>(&day), static_cast<IndexNode*>(&month), static_cast<IndexNode*>(&year)}) {
        node->bytes += record.size;
        Include(*node, record.start, record.end);
    }
    header_.totalBytes += record.size;
    if (record.start != 0 && (header_.earliestStart == 0 || record.start < header_.earliestStart))
        header_.earliestStart = record.start;
    header_.latestEnd = std::max(header_.latestEnd, record.end);
    header_.modified = 1;
    return 1;
}

void RecordIndex::RecomputeUpwards(size_t y, size_t m)
{
    MonthNode& month = years_[y].months[m];
    RecomputeRange(month, month.days);
    YearNode& year = years_[y];
    RecomputeRange(year, year.months);
    RecomputeHeader();
}

void RecordIndex::RecomputeHeader()
{
    header_.earliestStart = 0;
    header_.latestEnd = 0;
    header_.totalBytes = 0;
    IndexNode range;
    for (const auto& year : years_) {
        if (year.start != 0)
            Include(range, year.start, year.end);
        header_.totalBytes += year.bytes;
    }
    header_.earliestStart = range.start;
    header_.latestEnd = range.end;
}

int RecordIndex::RemoveRecord(int32_t time, bool deleteFile)
{
    const auto at = Find(time);
    if (!at)
        return 0;
    YearNode& year = years_[at->year];
    MonthNode& month = year.months[at->month];
    DayNode& day = month.days[at->day];
    const IndexRecord& record = day.records[at->record];
    if (deleteFile)
        ::unlink(record.path.c_str());
    month.bytes -= record.size;
    year.bytes -= record.size;
    day.records.erase(day.records.begin() + static_cast<long>(at->record));
    RecomputeDay(day);
    RecomputeUpwards(at->year, at->month);
    header_.modified = 1;
    return 1;
}

int RecordIndex::RemoveDay(int32_t time, bool deleteFiles)
{
    LocalDate date;
    if (!DateOf(time, date))
        return 0;
    const size_t y = LowerBoundKey(years_, static_cast<uint16_t>(date.year));
    if (y == years_.size() || years_[y].key != date.year)
        return 0;
    auto& months = years_[y].months;
    const size_t m = LowerBoundKey(months, static_cast<uint16_t>(date.month));
    if (m == months.size() || months[m].key != date.month)
        return 0;
    auto& days = months[m].days;
    const size_t d = LowerBoundKey(days, static_cast<uint16_t>(date.day));
    if (d == days.size() || days[d].key != date.day)
        return 0;
    if (deleteFiles)
        for (const auto& record : days[d].records)
            ::unlink(record.path.c_str());
    months[m].bytes -= days[d].bytes;
    years_[y].bytes -= days[d].bytes;
    days.erase(days.begin() + static_cast<long>(d));
    cursor_.reset();
    RecomputeUpwards(y, m);
    header_.modified = 1;
    return 1;
}

int RecordIndex::RemoveAll(bool deleteFiles)
{
    if (!storageFolder_.empty())
        ::unlink(IndexPath().c_str());
    if (deleteFiles)
        for (const auto& record : Records())
            ::unlink(record.path.c_str());
    ResetTree();
    return 1;
}

int RecordIndex::RemoveOlderThan(int32_t time)
{
    int removed = 0;
    while (header_.earliestStart != 0 && header_.earliestStart < time && header_.earliestStart <= header_.latestEnd) {
        // The earliest record is the first one in calendar order; removing it by position (not
        // by time) always makes progress.
        bool found = false;
        for (size_t y = 0; y < years_.size() && !found; ++y)
            for (size_t m = 0; m < years_[y].months.size() && !found; ++m)
                for (size_t d = 0; d < years_[y].months[m].days.size() && !found; ++d) {
                    DayNode& day = years_[y].months[m].days[d];
                    if (day.records.empty())
                        continue;
                    found = true;
                    const IndexRecord& record = day.records.front();
                    ::unlink(record.path.c_str());
                    years_[y].months[m].bytes -= record.size;
                    years_[y].bytes -= record.size;
                    day.records.erase(day.records.begin());
                    RecomputeDay(day);
                    RecomputeUpwards(y, m);
                }
        if (!found)
            break;
        header_.modified = 1;
        ++removed;
    }
    return removed;
}

std::vector<IndexRecord> RecordIndex::Records() const
{
    std::vector<IndexRecord> out;
    out.reserve(RecordCount());
    for (const auto& year : years_)
        for (const auto& month : year.months)
            for (const auto& day : month.days)
                out.insert(out.end(), day.records.begin(), day.records.end());
    return out;
}

size_t RecordIndex::RecordCount() const
{
    size_t count = 0;
    for (const auto& year : years_)
        for (const auto& month : year.months)
            for (const auto& day : month.days)
                count += day.records.size();
    return count;
}

int RecordIndex::Rebuild()
{
    ResetTree();
    const int ok = ScanFolder(false);
    header_.saved = Now();
    return ok;
}

int RecordIndex::ScanFolder(bool onlyMissing)
{
    lastScan_ = FolderScanStats{};
    std::vector<std::string> known;
    if (onlyMissing) {
        for (const auto& record : Records())
            known.push_back(record.path);
        std::sort(known.begin(), known.end());
    }
    std::error_code ec;
    std::filesystem::directory_iterator folders(storageFolder_, ec);
    if (ec)
        return 0;
    for (const auto& entry : folders) {
        std::error_code entryError;
        if (entry.is_regular_file(entryError)) {
            ScanRootFile(entry.path().string(), entry.path().filename().string(), onlyMissing, known);
            continue;
        }
        if (!entry.is_directory(entryError))
            continue;
        int year = 0, month = 0, day = 0;
        const std::string folderName = entry.path().filename().string();
        if (!ParseDayFolderName(folderName, year, month, day))
            continue;
        std::filesystem::directory_iterator files(entry.path(), entryError);
        if (entryError)
            continue;
        for (const auto& file : files) {
            const std::string fileName = file.path().filename().string();
            if (fileName.find(".avi") == std::string::npos || !file.is_regular_file(entryError))
                continue;
            ScanFile(year, month, day, file.path().string(), fileName, onlyMissing, known);
        }
    }
    return 1;
}

// A record file in the storage folder itself: written there when its day folder could not be
// created. Its name has no date, so its times come from its record information, or from its
// frames when it was left unfinished.
void RecordIndex::ScanRootFile(const std::string& path, const std::string& fileName, bool onlyMissing,
                               const std::vector<std::string>& known)
{
    RecordName name;
    if (!ParseRecordFileName(fileName, name) || (onlyMissing && std::binary_search(known.begin(), known.end(), path)))
        return;
    if (detail::IsLockedByWriter(path)) {
        ++lastScan_.skipped;
        return;
    }
    AviFileInfo info;
    if (ReadAviFile(path, info) == 0 && info.state == AviState::Finished && !name.IsWorkingName()) {
        if (info.hasRecordInfo && Add({path, name.kind, info.recordInfo.start, info.recordInfo.end, info.fileSize}) == 1)
            ++lastScan_.added;
        else
            ++lastScan_.skipped;
        return;
    }
    const RepairOutcome outcome = RepairRecord(path, repairOptions_);
    if (outcome.result == RepairResult::Repaired || outcome.result == RepairResult::AlreadyFinished) {
        lastScan_.repaired += outcome.result == RepairResult::Repaired;
        if (Add({outcome.path, outcome.kind, outcome.start, outcome.end, outcome.fileSize}) == 1)
            ++lastScan_.added;
    } else if (outcome.result == RepairResult::Deleted) {
        ++lastScan_.deleted;
    } else {
        ++lastScan_.skipped;
    }
}

void RecordIndex::ScanFile(int year, int month, int day, const std::string& path, const std::string& fileName,
                           bool onlyMissing, const std::vector<std::string>& known)
{
    if (onlyMissing && std::binary_search(known.begin(), known.end(), path))
        return;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return;
    // A recorder holds its file locked while writing: neither judge nor touch it.
    if (detail::IsLockedByWriter(path)) {
        ++lastScan_.skipped;
        return;
    }
    if (st.st_size == 0) {
        ::unlink(path.c_str());
        ++lastScan_.deleted;
        return;
    }
    RecordName name;
    if (!ParseRecordFileName(fileName, name)) {
        ++lastScan_.skipped;
        return;
    }
    int32_t start = 0, end = 0;
    RecordTimesFromName(year, month, day, name, start, end);

    // A working name or an unfinished AVI is what a crash leaves behind: repair and keep it.
    AviFileInfo info;
    const bool isAvi = ReadAviFile(path, info) == 0;
    const bool looksUnfinished = name.IsWorkingName() || (isAvi && info.state != AviState::Finished);
    if (looksUnfinished) {
        const RepairOutcome outcome = RepairRecord(path, repairOptions_);
        switch (outcome.result) {
        case RepairResult::Repaired:
        case RepairResult::AlreadyFinished:
            if (outcome.result == RepairResult::Repaired)
                ++lastScan_.repaired;
            if (Add({outcome.path, outcome.kind, outcome.start, outcome.end, outcome.fileSize}) == 1)
                ++lastScan_.added;
            return;
        case RepairResult::Deleted:
            ++lastScan_.deleted;
            return;
        case RepairResult::InUse:
        case RepairResult::NoFrame:
        case RepairResult::Failed:
            ++lastScan_.skipped;
            return;
        case RepairResult::NotRecord:
            break; // judged by its name alone, as any other file
        }
    }
    if (start < end) {
        if (Add({path, name.kind, start, end, static_cast<uint64_t>(st.st_size)}) == 1)
            ++lastScan_.added;
        else
            ++lastScan_.skipped;
    } else {
        ::unlink(path.c_str());
        ++lastScan_.deleted;
    }
}

} // namespace vantry::common
