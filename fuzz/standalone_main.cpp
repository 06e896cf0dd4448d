// Driver for fuzz targets in builds without libFuzzer: feeds every file of the given
// folders or files, then a bounded number of pseudo-random inputs (some derived from the
// corpus by mutation), to LLVMFuzzerTestOneInput. It proves the target survives hostile
// input in the ordinary test run; real fuzzing uses -DVANTRY_FUZZ=ON with clang.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

std::vector<uint8_t> readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

int main(int argc, char** argv)
{
    long runs = 1000;
    uint32_t seed = std::random_device{}();
    std::vector<std::vector<uint8_t>> corpus;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--runs=", 7) == 0) {
            runs = std::strtol(argv[i] + 7, nullptr, 10);
        } else if (std::strncmp(argv[i], "--seed=", 7) == 0) {
            seed = static_cast<uint32_t>(std::strtoul(argv[i] + 7, nullptr, 10));
        } else {
            std::filesystem::path p(argv[i]);
            std::error_code ec;
            if (std::filesystem::is_directory(p, ec)) {
                for (const auto& entry : std::filesystem::recursive_directory_iterator(p, ec))
                    if (entry.is_regular_file())
                        corpus.push_back(readFile(entry.path()));
            } else if (std::filesystem::is_regular_file(p, ec)) {
                corpus.push_back(readFile(p));
            }
        }
    }
    std::printf("fuzz driver: seed %u, %zu corpus inputs, %ld random runs\n", seed, corpus.size(), runs);
    for (const auto& input : corpus)
        LLVMFuzzerTestOneInput(input.data(), input.size());

    std::mt19937 rng(seed);
    std::vector<uint8_t> buffer;
    for (long run = 0; run < runs; ++run) {
        if (!corpus.empty() && (rng() & 1)) {
            buffer = corpus[rng() % corpus.size()];
            const size_t flips = 1 + rng() % 16;
            for (size_t f = 0; f < flips && !buffer.empty(); ++f)
                buffer[rng() % buffer.size()] = static_cast<uint8_t>(rng());
            if (!buffer.empty() && (rng() % 4) == 0)
                buffer.resize(rng() % buffer.size());
        } else {
            buffer.resize(rng() % 4096);
            for (auto& b : buffer)
                b = static_cast<uint8_t>(rng());
        }
        LLVMFuzzerTestOneInput(buffer.data(), buffer.size());
    }
    std::printf("fuzz driver: done\n");
    return 0;
}
