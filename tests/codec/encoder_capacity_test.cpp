// The encoder never writes beyond the output capacity: a picture that would not fit is coded
// again with a higher quantiser, and one that does not fit even at quantiser 31 is not sent.
#include "codec/bit_reader.h"
#include "codec/decoder.h"
#include "codec/picture_header.h"
#include "codec/vx_encoder.h"
#include "encoder_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace vantry::codec {
namespace {

using testing::I420Picture;
using testing::movingScene;

constexpr int kWidth = 176;
constexpr int kHeight = 144;
constexpr uint8_t kSentinel = 0xA5;

PictureHeader headerOf(const uint8_t* data, size_t size) {
    BitReader reader(data, size);
    PictureHeader header;
    EXPECT_EQ(readPictureHeader(reader, header), HeaderStatus::Ok);
    return header;
}

// An encoder and a decoder side by side; every picture sent is decoded and compared with the
// encoder's reconstruction.
class Link {
public:
    explicit Link(int qp, int interval = 30) {
        enc_.width = kWidth;
        enc_.height = kHeight;
        enc_.quantiser = qp;
        enc_.keyFrameInterval = interval;
        enc_.searchMode = 1;
        EXPECT_EQ(vx_encoder_open(&enc_), 0);
        vx_encoder_set_full_reconstruction(&enc_, true);
        EXPECT_EQ(vx_decoder_open(&dec_), 0);
    }
    ~Link() {
        vx_decoder_close(&dec_);
        vx_encoder_close(&enc_);
    }

    // Encodes picture `index` into a buffer of `capacity` bytes followed by sentinel bytes;
    // returns the bytes written (the buffer is kept for inspection).
    int send(int index, size_t capacity) {
        buffer.assign(capacity + 64, kSentinel);
        I420Picture picture = movingScene(kWidth, kHeight, index, 12, 4);
        VxFramePlanes planes = picture.planes();
        const int length = vx_encode(&enc_, &planes, buffer.data(), capacity);
        EXPECT_TRUE(std::all_of(buffer.begin() + static_cast<long>(std::max(length, 0)), buffer.end(),
                                [](uint8_t b) { return b == kSentinel; }))
            << "bytes written beyond the picture";
        if (length > 0) {
            VxFramePlanes* out = nullptr;
            EXPECT_EQ(vx_decode(&dec_, &out, buffer.data(), length), length);
            const VxFramePlanes* recon = vx_encoder_reconstruction(&enc_);
            bool same = true;
            for (int y = 0; y < kHeight && same; ++y)
                same = std::equal(out->y + y * out->stride, out->y + y * out->stride + kWidth, recon->y + y * recon->stride);
            EXPECT_TRUE(same) << "decoder and encoder disagree on picture " << index;
        }
        return length;
    }

    VxEncoderParams& params() { return enc_; }
    std::vector<uint8_t> buffer;

private:
    VxEncoderParams enc_{};
    VxDecoderHandle dec_{};
};

std::vector<int> referenceSizes(int qp, int pictures) {
    Link link(qp);
    std::vector<int> sizes;
    for (int i = 0; i < pictures; ++i)
        sizes.push_back(link.send(i, size_t(kWidth) * kHeight * 8));
    return sizes;
}

TEST(EncoderCapacity, ExactlyFittingPicturesAreUnchanged) {
    const auto sizes = referenceSizes(3, 4);
    Link reference(3), exact(3);
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(reference.send(i, size_t(kWidth) * kHeight * 8), sizes[i]);
        ASSERT_EQ(exact.send(i, size_t(sizes[i])), sizes[i]) << "picture " << i;
        EXPECT_TRUE(std::equal(exact.buffer.begin(), exact.buffer.begin() + sizes[i], reference.buffer.begin()));
    }
}

// One byte less than needed: the same picture type at a higher quantiser, and the pictures
// that predict from it still decode exactly.
TEST(EncoderCapacity, PictureOneByteTooLargeIsCodedAgainWithAHigherQuantiser) {
    const auto sizes = referenceSizes(2, 4);
    for (int shortPicture = 0; shortPicture < 2; ++shortPicture) {  // the I-picture, then a P-picture
        Link link(2);
        for (int i = 0; i < 4; ++i) {
            const size_t capacity = i == shortPicture ? size_t(sizes[i] - 1) : size_t(kWidth) * kHeight * 8;
            const int length = link.send(i, capacity);
            ASSERT_GT(length, 0) << "picture " << i;
            ASSERT_LE(size_t(length), capacity);
            const PictureHeader h = headerOf(link.buffer.data(), size_t(length));
            EXPECT_EQ(h.type, i == 0 ? PictureType::Intra : PictureType::Inter) << "picture " << i;
            if (i == shortPicture)
                EXPECT_GT(h.quantiser, 2);
            else
                EXPECT_EQ(h.quantiser, 2);
        }
    }
}

struct TooSmallCase {
    const char* name;
    int failingPicture;  // 0: the I-picture, 2: a P-picture
    size_t capacity;     // 0: one byte less than the picture takes at quantiser 31
};

class EncoderTooSmall : public ::testing::TestWithParam<TooSmallCase> {};

TEST_P(EncoderTooSmall, WritesNothingAndTheNextPictureIsAnIPicture) {
    const TooSmallCase& c = GetParam();
    size_t capacity = c.capacity;
    if (capacity == 0)
        capacity = size_t(referenceSizes(31, c.failingPicture + 1)[c.failingPicture] - 1);
    Link link(c.capacity == 0 ? 31 : 6);
    for (int i = 0; i < c.failingPicture; ++i)
        ASSERT_GT(link.send(i, size_t(kWidth) * kHeight * 8), 0);
    EXPECT_EQ(link.send(c.failingPicture, capacity), 0);
    EXPECT_TRUE(std::all_of(link.buffer.begin(), link.buffer.end(), [](uint8_t b) { return b == kSentinel; }));

    const int next = link.send(c.failingPicture + 1, size_t(kWidth) * kHeight * 8);
    ASSERT_GT(next, 0);
    const PictureHeader h = headerOf(link.buffer.data(), size_t(next));
    EXPECT_EQ(h.type, PictureType::Intra);
    EXPECT_EQ(h.temporalReference, 0);
    EXPECT_EQ(link.params().keyFlag, 1);
    const int after = link.send(c.failingPicture + 2, size_t(kWidth) * kHeight * 8);
    EXPECT_EQ(headerOf(link.buffer.data(), size_t(after)).type, PictureType::Inter);
}

INSTANTIATE_TEST_SUITE_P(Capacities, EncoderTooSmall,
                         ::testing::Values(TooSmallCase{"one_byte", 0, 1}, TooSmallCase{"header_only", 0, 12},
                                           TooSmallCase{"p_picture_tiny", 2, 20},
                                           TooSmallCase{"qp31_one_byte_short", 0, 0},
                                           TooSmallCase{"qp31_p_picture_one_byte_short", 2, 0}),
                         [](const ::testing::TestParamInfo<TooSmallCase>& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace vantry::codec
