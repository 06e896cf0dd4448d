// Streams from Debian's ffmpeg H.263 encoder (short PTYPE form, all five standard sizes,
// with and without motion search) decode with `vxcodec decode` to what ffmpeg's own
// decoder makes of them, up to inverse-transform rounding.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string findFfmpeg()
{
    for (const char* candidate : {"/usr/bin/ffmpeg", "/usr/local/bin/ffmpeg"})
        if (fs::exists(candidate))
            return candidate;
    return {};
}

std::vector<uint8_t> readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int run(const std::string& command)
{
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class TempDir {
public:
    TempDir()
    {
        std::string pattern = (fs::temp_directory_path() / "vx-ffmpeg-XXXXXX").string();
        if (mkdtemp(pattern.data()))
            path = pattern;
    }
    ~TempDir()
    {
        std::error_code ec;
        if (!path.empty())
            fs::remove_all(path, ec);
    }
    fs::path path;
};

struct StreamCase {
    int width;
    int height;
    int frames;
    bool motionSearch;
};

std::string caseName(const testing::TestParamInfo<StreamCase>& info)
{
    return std::to_string(info.param.width) + "x" + std::to_string(info.param.height) +
           (info.param.motionSearch ? "_motion" : "_zero_motion");
}

class FfmpegStreams : public testing::TestWithParam<StreamCase> {};

} // namespace

TEST_P(FfmpegStreams, DecodeLikeTheReferenceDecoder)
{
    const std::string ffmpeg = findFfmpeg();
    if (ffmpeg.empty())
        GTEST_SKIP() << "ffmpeg is not installed; the reference comparison needs Debian's ffmpeg";
    const StreamCase c = GetParam();
    TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    const fs::path stream = dir.path / "in.h263";
    const fs::path reference = dir.path / "reference.yuv";
    const fs::path decoded = dir.path / "decoded.yuv";
    const std::string size = std::to_string(c.width) + "x" + std::to_string(c.height);
    ASSERT_EQ(run(ffmpeg + " -nostdin -loglevel error -y -f lavfi -i testsrc=size=" + size + ":rate=25 -frames:v " +
                  std::to_string(c.frames) + " -c:v h263 -q:v 5" + (c.motionSearch ? "" : " -motion_est zero") +
                  " '" + stream.string() + "'"),
              0);
    ASSERT_EQ(run(ffmpeg + " -nostdin -loglevel error -y -i '" + stream.string() +
                  "' -fps_mode passthrough -f rawvideo -pix_fmt yuv420p '" + reference.string() + "'"),
              0);
    ASSERT_EQ(run(std::string(VANTRY_TEST_BIN_DIR) + "/vxcodec decode '" + stream.string() + "' '" +
                  decoded.string() + "'"),
              0);

    const auto expected = readFile(reference);
    const auto actual = readFile(decoded);
    const size_t frameBytes = static_cast<size_t>(c.width) * static_cast<size_t>(c.height) * 3 / 2;
    ASSERT_EQ(expected.size(), frameBytes * static_cast<size_t>(c.frames));
    ASSERT_EQ(actual.size(), expected.size());
    double psnrSum = 0;
    double worst = 1000;
    for (int f = 0; f < c.frames; ++f) {
        double squared = 0;
        for (size_t i = f * frameBytes; i < (f + 1) * frameBytes; ++i) {
            const double d = double(expected[i]) - double(actual[i]);
            squared += d * d;
        }
        const double mse = squared / double(frameBytes);
        const double psnr = mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
        psnrSum += psnr;
        worst = std::min(worst, psnr);
    }
    const double mean = psnrSum / c.frames;
    std::printf("%s: mean PSNR %.2f dB, worst picture %.2f dB\n", size.c_str(), mean, worst);
    EXPECT_GT(mean, 40.0);
}

INSTANTIATE_TEST_SUITE_P(StandardSizes, FfmpegStreams,
                         testing::Values(StreamCase{128, 96, 30, false}, StreamCase{128, 96, 30, true},
                                         StreamCase{176, 144, 30, false}, StreamCase{176, 144, 30, true},
                                         StreamCase{352, 288, 20, false}, StreamCase{352, 288, 20, true},
                                         StreamCase{704, 576, 10, false}, StreamCase{704, 576, 10, true},
                                         StreamCase{1408, 1152, 3, false}, StreamCase{1408, 1152, 3, true}),
                         caseName);
