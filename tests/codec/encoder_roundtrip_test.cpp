// The encoder's reconstruction is what a decoder builds, byte for byte, for every picture of
// long sequences in every search mode, with several key-frame intervals and quantisers.
#include "codec/cpu_features.h"
#include "codec/decoder.h"
#include "codec/vx_encoder.h"
#include "encoder_state.h"
#include "encoder_test_support.h"

#include <gtest/gtest.h>

#include <thread>

#include <string>
#include <vector>

namespace vantry::codec {
namespace {

using testing::I420Picture;
using testing::movingScene;

// First differing plane and position, or empty when the pictures are equal.
std::string comparePlanes(const VxFramePlanes& a, const VxFramePlanes& b, int width, int height) {
    const struct {
        const char* name;
        const uint8_t* pa;
        const uint8_t* pb;
        int w, h, sa, sb;
    } planes[] = {{"Y", a.y, b.y, width, height, a.stride, b.stride},
                  {"U", a.u, b.u, width / 2, height / 2, a.stride / 2, b.stride / 2},
                  {"V", a.v, b.v, width / 2, height / 2, a.stride / 2, b.stride / 2}};
    for (const auto& p : planes) {
        for (int y = 0; y < p.h; ++y) {
            for (int x = 0; x < p.w; ++x) {
                if (p.pa[size_t(y) * p.sa + x] != p.pb[size_t(y) * p.sb + x])
                    return std::string(p.name) + " at " + std::to_string(x) + "," + std::to_string(y);
            }
        }
    }
    return {};
}

struct RoundTripCase {
    int width, height;
    int mode, interval, qp;
    int pictures;
    int inputStride;  // 0: the width
};

std::string caseName(const ::testing::TestParamInfo<RoundTripCase>& info) {
    const RoundTripCase& c = info.param;
    return std::to_string(c.width) + "x" + std::to_string(c.height) + "_mode" + std::to_string(c.mode) + "_gop" +
           std::to_string(c.interval) + "_qp" + std::to_string(c.qp) + (c.inputStride ? "_stride" + std::to_string(c.inputStride) : "");
}

class EncoderRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(EncoderRoundTrip, DecoderOutputEqualsReconstruction) {
    const RoundTripCase& c = GetParam();
    VxEncoderParams enc{};
    enc.width = c.width;
    enc.height = c.height;
    enc.quantiser = c.qp;
    enc.keyFrameInterval = c.interval;
    enc.searchMode = c.mode;
    ASSERT_EQ(vx_encoder_open(&enc), 0);
    vx_encoder_set_full_reconstruction(&enc, true);
    VxDecoderHandle dec{};
    ASSERT_EQ(vx_decoder_open(&dec), 0);

    std::vector<uint8_t> coded(size_t(c.width) * c.height * 3 / 2);
    int interPictures = 0;
    for (int i = 0; i < c.pictures; ++i) {
        I420Picture picture = movingScene(c.width, c.height, i, 4, 11, c.inputStride);
        VxFramePlanes in = picture.planes();
        const int length = vx_encode(&enc, &in, coded.data(), coded.size());
        ASSERT_GT(length, 0) << "picture " << i;
        interPictures += enc.keyFlag == 0;
        VxFramePlanes* out = nullptr;
        ASSERT_EQ(vx_decode(&dec, &out, coded.data(), length), length) << "picture " << i;
        ASSERT_EQ(dec.keyFlag, enc.keyFlag) << "picture " << i;
        ASSERT_EQ(vx_decoder_damaged_macroblocks(&dec), 0) << "picture " << i;
        const VxFramePlanes* recon = vx_encoder_reconstruction(&enc);
        ASSERT_NE(recon, nullptr);
        const std::string diff = comparePlanes(*out, *recon, c.width, c.height);
        ASSERT_TRUE(diff.empty()) << "picture " << i << ": first difference in " << diff;
    }
    if (c.interval > 1) {
        EXPECT_GT(interPictures, 0);
    }
    vx_decoder_close(&dec);
    vx_encoder_close(&enc);
}

std::vector<RoundTripCase> roundTripCases() {
    std::vector<RoundTripCase> cases;
    for (int mode : {0, 1, 2}) {
        for (int interval : {0, 7, 30}) {
            for (int qp : {1, 4, 13, 31})
                cases.push_back({176, 144, mode, interval, qp, 45, 0});
        }
    }
    // Non-square custom size, odd and even quantisers, and an input stride wider than the picture.
    cases.push_back({96, 208, 2, 60, 6, 60, 0});
    cases.push_back({352, 288, 1, 30, 5, 12, 384});
    cases.push_back({64, 64, 2, 100, 2, 80, 0});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Sequences, EncoderRoundTrip, ::testing::ValuesIn(roundTripCases()), caseName);

// Skipping the reconstruction of pictures that no P-picture refers to changes no output byte.
TEST(EncoderReconstruction, SkippingUnusedReconstructionsLeavesTheStreamUnchanged) {
    for (int mode : {0, 2}) {
        std::vector<uint8_t> streams[2];
        for (int full = 0; full < 2; ++full) {
            VxEncoderParams enc{};
            enc.width = 128;
            enc.height = 96;
            enc.quantiser = 6;
            enc.keyFrameInterval = 5;
            enc.searchMode = mode;
            ASSERT_EQ(vx_encoder_open(&enc), 0);
            vx_encoder_set_full_reconstruction(&enc, full == 1);
            std::vector<uint8_t> coded(128 * 96 * 2);
            for (int i = 0; i < 23; ++i) {
                I420Picture picture = movingScene(128, 96, i);
                VxFramePlanes in = picture.planes();
                const int length = vx_encode(&enc, &in, coded.data(), coded.size());
                ASSERT_GT(length, 0);
                streams[full].insert(streams[full].end(), coded.begin(), coded.begin() + length);
            }
            vx_encoder_close(&enc);
        }
        EXPECT_EQ(streams[0], streams[1]) << "mode " << mode;
    }
}

// The caller may change the quantiser, the search mode and even the input stride between
// pictures; each picture still decodes to exactly the encoder's reconstruction.
TEST(EncoderRoundTripChanges, ParametersChangingEveryPicture) {
    VxEncoderParams enc{};
    enc.width = 160;
    enc.height = 112;
    enc.quantiser = 5;
    enc.keyFrameInterval = 50;
    ASSERT_EQ(vx_encoder_open(&enc), 0);
    VxDecoderHandle dec{};
    ASSERT_EQ(vx_decoder_open(&dec), 0);
    std::vector<uint8_t> coded(160 * 112 * 2);
    for (int i = 0; i < 40; ++i) {
        enc.quantiser = 1 + (i * 7) % 31;
        enc.searchMode = i % 3;
        I420Picture picture = movingScene(160, 112, i, 4, 3, i % 4 == 3 ? 192 : 0);
        VxFramePlanes in = picture.planes();
        const int length = vx_encode(&enc, &in, coded.data(), coded.size());
        ASSERT_GT(length, 0);
        VxFramePlanes* out = nullptr;
        ASSERT_EQ(vx_decode(&dec, &out, coded.data(), length), length);
        // Pictures before an I-picture are not reconstructed; this interval has none.
        const std::string diff = comparePlanes(*out, *vx_encoder_reconstruction(&enc), 160, 112);
        ASSERT_TRUE(diff.empty()) << "picture " << i << ": " << diff;
    }
    vx_decoder_close(&dec);
    vx_encoder_close(&enc);
}

// Every rung of the kernel ladder, the plain forms included, gives pictures that decode to
// exactly the encoder's reconstruction; the transform forms differ only in a few levels.
TEST(EncoderRoundTripKernels, EveryKernelFormRoundTrips) {
    const uint32_t masks[] = {0, kCpuSse2, kCpuSse2 | kCpuAvx2};
    size_t bytesOfPlain = 0;
    for (uint32_t mask : masks) {
        if ((mask & cpuFeatureMask()) != mask)
            continue;
        const enc::EncoderKernels kernels = enc::encoderKernelsFor(mask);
        for (int mode : {0, 1, 2}) {
            VxEncoderParams enc{};
            enc.width = 128;
            enc.height = 96;
            enc.quantiser = 3;
            enc.keyFrameInterval = 12;
            enc.searchMode = mode;
            ASSERT_EQ(vx_encoder_open(&enc), 0);
            enc.state->kernels = &kernels;
            vx_encoder_set_full_reconstruction(&enc, true);
            VxDecoderHandle dec{};
            ASSERT_EQ(vx_decoder_open(&dec), 0);
            std::vector<uint8_t> coded(128 * 96 * 2);
            size_t bytes = 0;
            for (int i = 0; i < 20; ++i) {
                I420Picture picture = movingScene(128, 96, i, 5, 2);
                VxFramePlanes in = picture.planes();
                const int length = vx_encode(&enc, &in, coded.data(), coded.size());
                ASSERT_GT(length, 0);
                bytes += size_t(length);
                VxFramePlanes* out = nullptr;
                ASSERT_EQ(vx_decode(&dec, &out, coded.data(), length), length);
                const std::string diff = comparePlanes(*out, *vx_encoder_reconstruction(&enc), 128, 96);
                ASSERT_TRUE(diff.empty()) << "mask " << mask << " mode " << mode << " picture " << i << ": " << diff;
            }
            if (mask == 0 && mode == 2)
                bytesOfPlain = bytes;
            if (mask != 0 && mode == 2) {
                EXPECT_NEAR(double(bytes), double(bytesOfPlain), 0.02 * double(bytesOfPlain)) << "mask " << mask;
            }
            vx_decoder_close(&dec);
            vx_encoder_close(&enc);
        }
    }
}

// Encoders opened, used and closed on several threads at once (sharing the process-wide code
// table) write exactly what a lone encoder writes.
TEST(EncoderThreads, ConcurrentEncodersMatchALoneEncoder) {
    auto encodeAll = [](int rounds, std::vector<uint8_t>& stream) {
        for (int round = 0; round < rounds; ++round) {
            stream.clear();
            VxEncoderParams enc{};
            enc.width = 96;
            enc.height = 64;
            enc.quantiser = 4;
            enc.keyFrameInterval = 6;
            enc.searchMode = 2;
            if (vx_encoder_open(&enc) != 0)
                return;
            std::vector<uint8_t> coded(96 * 64 * 2);
            for (int i = 0; i < 10; ++i) {
                I420Picture picture = movingScene(96, 64, i);
                VxFramePlanes in = picture.planes();
                const int length = vx_encode(&enc, &in, coded.data(), coded.size());
                stream.insert(stream.end(), coded.begin(), coded.begin() + std::max(length, 0));
            }
            vx_encoder_close(&enc);
        }
    };
    std::vector<uint8_t> expected;
    encodeAll(1, expected);
    ASSERT_FALSE(expected.empty());
    std::vector<std::vector<uint8_t>> streams(4);
    std::vector<std::thread> threads;
    for (auto& stream : streams)
        threads.emplace_back(encodeAll, 8, std::ref(stream));
    for (auto& t : threads)
        t.join();
    for (const auto& stream : streams)
        EXPECT_EQ(stream, expected);
}

}  // namespace
}  // namespace vantry::codec
