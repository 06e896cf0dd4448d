// Hostile record files: the reader, the record information reader and the repair must neither
// crash nor hang, and a repaired file must read back as a finished AVI with the frames found.
#include "common/avi_reader.h"
#include "common/record_info.h"
#include "common/record_repair.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

const std::string& DayFolder()
{
    static const std::string folder = [] {
        std::string root = (std::filesystem::temp_directory_path() / "vantry-fuzz-repair-XXXXXX").string();
        if (::mkdtemp(root.data()) == nullptr)
            std::abort();
        static std::string cleanup = root;
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(cleanup, ec);
        });
        std::filesystem::create_directories(root + "/2025-01-01");
        return root + "/2025-01-01";
    }();
    return folder;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace vantry::common;
    const std::string& folder = DayFolder();
    const std::string path = folder + "/zt1200001200000.avi";
    if (FILE* file = std::fopen(path.c_str(), "wb")) {
        if (size > 0)
            std::fwrite(data, 1, size, file);
        std::fclose(file);
    } else {
        std::abort();
    }

    AviFileInfo info;
    ReadAviFile(path, info);
    RecordInfo record;
    ReadRecordInfo(path, record);
    ParseRecordInfo(data, size, record);

    RepairOptions options;
    options.durable = false;
    const RepairOutcome out = RepairRecord(path, options);
    if (out.result == RepairResult::Repaired) {
        AviFileInfo after;
        if (ReadAviFile(out.path, after) != 0 || after.state != AviState::Finished
            || after.FrameCount() != out.videoFrames || out.start >= out.end)
            std::abort();
        // Repairing again finds nothing to do.
        if (RepairRecord(out.path, options).result != RepairResult::AlreadyFinished)
            std::abort();
    }
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
        std::filesystem::remove(entry.path(), ec);
    return 0;
}
