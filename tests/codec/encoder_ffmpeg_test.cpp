// Streams written by `vxcodec encode` are standard: ffmpeg's H.263 decoder reads every one of
// them and its pictures match our reconstruction within the inverse transform's rounding.
#include "encoder_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace vantry::codec {
namespace {

namespace fs = std::filesystem;

bool haveFfmpeg() { return std::system("ffmpeg -hide_banner -version >/dev/null 2>&1") == 0; }

std::vector<uint8_t> readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::string quoted(const fs::path& p) { return "'" + p.string() + "'"; }

struct FfmpegCase {
    int width, height;
    int frames, mode, interval, qp;
};

class EncoderAgainstFfmpeg : public ::testing::TestWithParam<FfmpegCase> {
protected:
    void SetUp() override {
        if (!haveFfmpeg())
            GTEST_SKIP() << "ffmpeg is not installed: the reference H.263 decoder check is skipped";
        char pattern[] = "/tmp/vx_enc_ffmpeg_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        if (!dir_.empty())
            fs::remove_all(dir_);
    }
    fs::path dir_;
};

TEST_P(EncoderAgainstFfmpeg, DecodesOurStreamLikeOurReconstruction) {
    const FfmpegCase& c = GetParam();
    const fs::path raw = dir_ / "in.yuv", coded = dir_ / "out.h263", recon = dir_ / "recon.yuv",
                   decoded = dir_ / "ffmpeg.yuv";
    {
        std::ofstream out(raw, std::ios::binary);
        for (int i = 0; i < c.frames; ++i) {
            auto picture = testing::movingScene(c.width, c.height, i, 3, 17);
            out.write(reinterpret_cast<const char*>(picture.bytes.data()), static_cast<std::streamsize>(picture.bytes.size()));
        }
    }
    const std::string size = std::to_string(c.width) + "x" + std::to_string(c.height);
    const fs::path vxcodec = fs::path(VANTRY_TEST_BIN_DIR) / "vxcodec";
    ASSERT_TRUE(fs::exists(vxcodec)) << "build the vxcodec tool first";
    const std::string encode = quoted(vxcodec) + " encode --size " + size + " --qp " + std::to_string(c.qp) +
                               " --gop " + std::to_string(c.interval) + " --search " + std::to_string(c.mode) +
                               " --recon " + quoted(recon) + " " + quoted(raw) + " " + quoted(coded) + " 2>/dev/null";
    ASSERT_EQ(std::system(encode.c_str()), 0) << encode;
    const std::string decode = "ffmpeg -hide_banner -loglevel error -y -f h263 -i " + quoted(coded) +
                               " -fps_mode passthrough -f rawvideo -pix_fmt yuv420p " + quoted(decoded);
    ASSERT_EQ(std::system(decode.c_str()), 0) << decode;

    const auto ours = readFile(recon);
    const auto theirs = readFile(decoded);
    const size_t frameBytes = size_t(c.width) * c.height * 3 / 2;
    ASSERT_EQ(ours.size(), frameBytes * c.frames);
    ASSERT_EQ(theirs.size(), ours.size()) << "ffmpeg decoded a different number of pictures";
    double psnrSum = 0;
    for (int f = 0; f < c.frames; ++f) {
        double squared = 0;
        for (size_t i = f * frameBytes; i < (f + 1) * frameBytes; ++i) {
            const int d = ours[i] - theirs[i];
            squared += d * d;
        }
        const double mse = squared / double(frameBytes);
        const double psnr = mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
        EXPECT_GT(psnr, 35.0) << "picture " << f;
        psnrSum += psnr;
    }
    EXPECT_GT(psnrSum / c.frames, 40.0) << "mean PSNR between ffmpeg's pictures and our reconstruction";
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, EncoderAgainstFfmpeg,
    ::testing::Values(FfmpegCase{128, 96, 12, 2, 5, 3}, FfmpegCase{176, 144, 12, 1, 6, 8},
                      FfmpegCase{352, 288, 8, 0, 4, 2}, FfmpegCase{704, 576, 4, 2, 3, 13},
                      FfmpegCase{1408, 1152, 2, 1, 2, 10}, FfmpegCase{320, 240, 10, 2, 30, 31},
                      FfmpegCase{16, 16, 6, 1, 3, 1}, FfmpegCase{2048, 2032, 2, 0, 2, 12},
                      FfmpegCase{640, 480, 4, 1, 0, 5}),
    [](const ::testing::TestParamInfo<FfmpegCase>& param) {
        const FfmpegCase& c = param.param;
        return std::to_string(c.width) + "x" + std::to_string(c.height) + "_mode" + std::to_string(c.mode);
    });

}  // namespace
}  // namespace vantry::codec
