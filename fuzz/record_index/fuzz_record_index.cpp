// Hostile index files: loading is bounded and never crashes; a loaded tree saves back to the
// same bytes, and every record in it can be found again. Nothing here deletes files: the paths
// inside the input are arbitrary.
#include "common/record_index.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace vantry::common;
    RecordIndex index;
    if (!index.LoadFromBytes(data, size))
        return 0;
    const std::vector<uint8_t> saved = index.Serialize();
    RecordIndex again;
    if (!again.LoadFromBytes(saved.data(), saved.size()) || again.Serialize() != saved)
        std::abort();
    const std::vector<IndexRecord> records = index.Records();
    for (const IndexRecord& record : records) {
        const auto found = index.Find(record.start);
        if (!found || index.RecordAt(*found) == nullptr)
            std::abort();
    }
    if (!records.empty()) {
        index.RemoveRecord(records.front().start, false);
        index.RemoveDay(records.back().start, false);
        if (index.TotalBytes() > again.TotalBytes())
            std::abort();
    }
    return 0;
}
