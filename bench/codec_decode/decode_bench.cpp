// Decoder and colour-conversion throughput, one thread. The decode benchmarks read the
// raw streams that compare_ffmpeg.sh makes (VX_BENCH_STREAM_DIR/cif.h263 and 4cif.h263);
// without them they make their own with ffmpeg in a temporary folder, or are skipped.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "codec/colour_converter.h"
#include "codec/cpu_features.h"
#include "codec/decoder.h"
#include "codec/kernels.h"
#include "codec/raw_stream.h"

namespace fs = std::filesystem;
using namespace vantry::codec;

namespace {

struct Stream {
    std::vector<uint8_t> bytes;
    std::vector<PictureSpan> pictures;
};

fs::path streamDir()
{
    if (const char* dir = std::getenv("VX_BENCH_STREAM_DIR"))
        return dir;
    return fs::temp_directory_path() / "vantry-decode-bench";
}

// The same command as compare_ffmpeg.sh, so that both time the same pictures.
bool makeStream(const fs::path& path, const std::string& size, int frames)
{
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    // A moving picture with sensor-like noise, so that P-pictures carry coded blocks.
    const std::string command = "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc2=size=" + size +
                                ":rate=25 -vf noise=alls=12:allf=t -frames:v " + std::to_string(frames) +
                                " -c:v h263 -q:v 5 '" + path.string() + "'";
    return std::system(command.c_str()) == 0;
}

const Stream* loadStream(const std::string& name, const std::string& size, int frames)
{
    static std::map<std::string, Stream> cache;
    auto found = cache.find(name);
    if (found != cache.end())
        return found->second.pictures.empty() ? nullptr : &found->second;
    Stream& s = cache[name];
    const fs::path path = streamDir() / (name + ".h263");
    if (!fs::exists(path) && !makeStream(path, size, frames))
        return nullptr;
    std::ifstream in(path, std::ios::binary);
    s.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    s.pictures = splitRawStream(s.bytes.data(), s.bytes.size());
    return s.pictures.empty() ? nullptr : &s;
}

void decodeStream(benchmark::State& state, const std::string& name, const std::string& size, int frames)
{
    const Stream* stream = loadStream(name, size, frames);
    if (!stream) {
        state.SkipWithError("no stream: needs ffmpeg or VX_BENCH_STREAM_DIR");
        return;
    }
    VxDecoderHandle handle;
    vx_decoder_open(&handle);
    int64_t pictures = 0;
    for (auto _ : state) {
        for (const PictureSpan& p : stream->pictures) {
            VxFramePlanes* planes = nullptr;
            const int used = vx_decode(&handle, &planes, stream->bytes.data() + p.offset, static_cast<int32_t>(p.length));
            benchmark::DoNotOptimize(used);
            benchmark::DoNotOptimize(planes);
        }
        pictures += static_cast<int64_t>(stream->pictures.size());
    }
    vx_decoder_close(&handle);
    state.counters["pictures/s"] = benchmark::Counter(static_cast<double>(pictures), benchmark::Counter::kIsRate);
}

void BM_DecodeCif(benchmark::State& state) { decodeStream(state, "cif", "352x288", 300); }
void BM_Decode4Cif(benchmark::State& state) { decodeStream(state, "4cif", "704x576", 150); }
BENCHMARK(BM_DecodeCif)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Decode4Cif)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The inverse transform alone, per kernel variant (0 plain, 1 SSE2, 2 AVX2).
void BM_Idct(benchmark::State& state)
{
    const uint32_t masks[] = {0, kCpuMmx | kCpuIntegerSse | kCpuSse2, cpuFeatureMask()};
    const uint32_t mask = masks[state.range(0)];
    if ((cpuFeatureMask() & mask) != mask) {
        state.SkipWithError("processor lacks the instruction set");
        return;
    }
    CodecKernels kernels;
    initCodecKernels(kernels, mask);
    std::mt19937 rng(3);
    alignas(32) int16_t blocks[64][64];
    for (auto& block : blocks)
        for (auto& c : block)
            c = static_cast<int16_t>(static_cast<int>(rng() % 512) - 256);
    alignas(32) int16_t work[64];
    size_t n = 0;
    for (auto _ : state) {
        std::memcpy(work, blocks[n++ & 63], sizeof work);
        kernels.idct(work);
        benchmark::DoNotOptimize(work);
    }
    state.counters["blocks/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Idct)->Arg(0)->Arg(1)->Arg(2);

constexpr int kWidth = 704;
constexpr int kHeight = 576;

struct Picture420 {
    std::vector<uint8_t> y = std::vector<uint8_t>(kWidth * kHeight);
    std::vector<uint8_t> u = std::vector<uint8_t>(kWidth * kHeight / 4);
    std::vector<uint8_t> v = std::vector<uint8_t>(kWidth * kHeight / 4);
    Picture420()
    {
        std::mt19937 rng(5);
        for (auto* plane : {&y, &u, &v})
            for (auto& s : *plane)
                s = static_cast<uint8_t>(rng());
    }
    VxFramePlanes planes() { return {y.data(), u.data(), v.data(), kWidth}; }
};

void setMegapixels(benchmark::State& state)
{
    state.counters["MP/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * kWidth * kHeight / 1e6,
                                                benchmark::Counter::kIsRate);
}

void BM_I420ToRgb24(benchmark::State& state)
{
    const auto matrix = static_cast<ColourMatrix>(state.range(0));
    Picture420 picture;
    ColourConverter converter;
    std::vector<uint8_t> rgb(static_cast<size_t>(kWidth) * 3 * kHeight);
    for (auto _ : state) {
        converter.i420ToRgb24(picture.planes(), kWidth, kHeight, rgb.data(), kWidth * 3, RowOrder::BottomUp, matrix);
        benchmark::DoNotOptimize(rgb.data());
    }
    setMegapixels(state);
}
BENCHMARK(BM_I420ToRgb24)->Arg(static_cast<int>(ColourMatrix::FullRange))->Arg(static_cast<int>(ColourMatrix::Studio));

void BM_Rgb24ToI420(benchmark::State& state)
{
    const auto matrix = static_cast<ColourMatrix>(state.range(0));
    Picture420 picture;
    std::vector<uint8_t> rgb(static_cast<size_t>(kWidth) * 3 * kHeight);
    std::mt19937 rng(9);
    for (auto& b : rgb)
        b = static_cast<uint8_t>(rng());
    for (auto _ : state) {
        ColourConverter::rgb24ToI420(rgb.data(), kWidth * 3, kWidth, kHeight, RowOrder::BottomUp, picture.planes(),
                                     matrix);
        benchmark::DoNotOptimize(picture.y.data());
    }
    setMegapixels(state);
}
BENCHMARK(BM_Rgb24ToI420)->Arg(static_cast<int>(ColourMatrix::FullRange))->Arg(static_cast<int>(ColourMatrix::Studio));

} // namespace

BENCHMARK_MAIN();
