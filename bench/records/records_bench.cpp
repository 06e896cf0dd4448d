// Record folder costs that a user waits for: rebuilding (and opening) the index of a folder
// with 10,000 record files, and repairing a 100 MB file left unfinished by a crash. Fixtures
// are made in a temporary folder and removed afterwards.
#include "common/avi_writer.h"
#include "common/gsm_encoder.h"
#include "common/record_files.h"
#include "common/record_index.h"
#include "common/record_repair.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace vantry::common;

namespace {

constexpr int kRecordFiles = 10000;
constexpr int kFilesPerDay = 96; // a 15-minute segment round the clock
constexpr uint64_t kLargeFileBytes = 100ull << 20;

std::string MakeTempFolder(const char* name)
{
    std::string pattern = (std::filesystem::temp_directory_path() / (std::string(name) + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr)
        std::abort();
    return pattern;
}

// A small finished station record (3 frames), the bytes every fixture file starts from.
std::vector<char> SmallRecord(const std::string& folder)
{
    const std::string path = folder + "/template.avi";
    AviWriter writer;
    writer.Open(path, StationAviSetup(352, 288, 15, false));
    const std::vector<uint8_t> frame(600, 0x42);
    for (int i = 0; i < 3; ++i)
        writer.WriteVideoFrame(frame.data(), frame.size(), i == 0, 1700000000 + i);
    writer.Finish(1700000000, 1700000003);
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::filesystem::remove(path);
    return bytes;
}

const std::string& RecordFolder()
{
    static const std::string folder = [] {
        const std::string root = MakeTempFolder("vantry-bench-index");
        const std::vector<char> bytes = SmallRecord(root);
        const int32_t first = MakeLocalTime(2024, 1, 1, 0, 0, 0);
        for (int i = 0; i < kRecordFiles; ++i) {
            const int32_t start = first + (i / kFilesPerDay) * 86400 + (i % kFilesPerDay) * 900;
            const std::string day = root + "/" + DayFolderName(start);
            if (i % kFilesPerDay == 0)
                PrepareRecordFolder(day);
            std::ofstream(day + "/" + RecordFileName(start, start + 899, i % 7 == 0), std::ios::binary)
                .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        }
        return root;
    }();
    return folder;
}

void BM_RebuildIndex10000Files(benchmark::State& state)
{
    const std::string& folder = RecordFolder();
    for (auto _ : state) {
        RecordIndex index;
        index.SetStorageFolder(folder);
        index.Rebuild();
        index.Save();
        if (index.RecordCount() != kRecordFiles)
            state.SkipWithError("records missing after the rebuild");
    }
}
BENCHMARK(BM_RebuildIndex10000Files)->Unit(benchmark::kMillisecond)->Iterations(3);

// Start-up: load rdb.ndx, then check the folder for records the index misses.
void BM_OpenIndex10000Files(benchmark::State& state)
{
    const std::string& folder = RecordFolder();
    {
        RecordIndex index;
        index.Open(folder);
    }
    for (auto _ : state) {
        RecordIndex index;
        index.Open(folder);
        if (index.RecordCount() != kRecordFiles)
            state.SkipWithError("records missing after the open");
    }
}
BENCHMARK(BM_OpenIndex10000Files)->Unit(benchmark::kMillisecond)->Iterations(3);

const std::string& LargeUnfinishedFile()
{
    static const std::string path = [] {
        const std::string folder = MakeTempFolder("vantry-bench-repair");
        const std::string file = folder + "/source.avi";
        AviWriter writer;
        writer.Open(file, StationAviSetup(640, 480, 15, true));
        GsmEncoder encoder;
        const std::vector<int16_t> pcm(533, 1000); // a fifteenth of a second at 8000 Hz
        std::vector<uint8_t> frame(25000), blocks;
        int32_t t = 1700000000;
        for (uint32_t i = 0; writer.FileSize() == 0 && i < 100000; ++i) {
            for (size_t j = 0; j < frame.size(); ++j)
                frame[j] = static_cast<uint8_t>(i * 31 + j);
            if (writer.WriteVideoFrame(frame.data(), frame.size() - i % 7, i % 15 == 0, t + static_cast<int32_t>(i / 15)) != 0)
                std::abort();
            blocks.clear();
            encoder.Encode(pcm.data(), pcm.size(), blocks);
            if (!blocks.empty())
                writer.WriteAudio(blocks.data(), blocks.size());
            if (std::filesystem::file_size(file) >= kLargeFileBytes)
                break;
        }
        writer.Abandon();
        // Cut inside the last frame, as a power cut would.
        std::filesystem::resize_file(file, std::filesystem::file_size(file) - 1000);
        return file;
    }();
    return path;
}

void BM_Repair100MBUnfinishedFile(benchmark::State& state)
{
    const std::string& source = LargeUnfinishedFile();
    const std::string folder = std::filesystem::path(source).parent_path().string() + "/2023-11-14";
    PrepareRecordFolder(folder);
    for (auto _ : state) {
        state.PauseTiming();
        const std::string working = folder + "/zt0000000000000.avi";
        std::filesystem::copy_file(source, working, std::filesystem::copy_options::overwrite_existing);
        state.ResumeTiming();
        const RepairOutcome out = RepairRecord(working);
        state.PauseTiming();
        if (out.result != RepairResult::Repaired)
            state.SkipWithError("repair failed");
        state.counters["frames"] = out.videoFrames;
        std::filesystem::remove(out.path);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * std::filesystem::file_size(source)));
}
BENCHMARK(BM_Repair100MBUnfinishedFile)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    for (const char* prefix : {"vantry-bench-index", "vantry-bench-repair"})
        for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::temp_directory_path(), ec))
            if (entry.path().filename().string().rfind(prefix, 0) == 0)
                std::filesystem::remove_all(entry.path(), ec);
    return 0;
}
