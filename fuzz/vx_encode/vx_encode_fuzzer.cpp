// Drives the encoder with arbitrary sizes, parameters (also out of range), capacities and
// picture content, and checks what must hold for every input: nothing is written beyond the
// capacity, and every picture sent decodes to exactly the encoder's reconstruction.
#include "codec/decoder.h"
#include "codec/vx_encoder.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace vantry::codec;

namespace {

constexpr uint8_t kGuard = 0x5A;

struct Input {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    uint8_t next() { return size ? data[at++ % size] : 0; }
};

bool samePicture(const VxFramePlanes& a, const VxFramePlanes& b, int width, int height) {
    for (int y = 0; y < height; ++y)
        if (std::memcmp(a.y + y * a.stride, b.y + y * b.stride, width) != 0)
            return false;
    for (int y = 0; y < height / 2; ++y)
        if (std::memcmp(a.u + y * (a.stride / 2), b.u + y * (b.stride / 2), width / 2) != 0 ||
            std::memcmp(a.v + y * (a.stride / 2), b.v + y * (b.stride / 2), width / 2) != 0)
            return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 8)
        return 0;
    Input in{data, size};
    VxEncoderParams params{};
    params.width = 16 * (1 + in.next() % 5);
    params.height = 16 * (1 + in.next() % 4);
    params.quantiser = static_cast<int8_t>(in.next());
    params.keyFrameInterval = in.next() % 6;
    params.searchMode = static_cast<int8_t>(in.next()) % 4;
    if (vx_encoder_open(&params) != 0)
        std::abort();
    vx_encoder_set_full_reconstruction(&params, true);
    VxDecoderHandle decoder{};
    if (vx_decoder_open(&decoder) != 0)
        std::abort();

    const int width = params.width, height = params.height;
    const int stride = width + 16 * (in.next() % 2);
    std::vector<uint8_t> picture(size_t(stride) * height * 3 / 2);
    const int pictures = 1 + in.next() % 4;
    for (int p = 0; p < pictures; ++p) {
        // Content: the fuzz bytes, smoothed a little so that motion search has something to find.
        for (size_t i = 0; i < picture.size(); ++i)
            picture[i] = static_cast<uint8_t>(in.next() / 2 + (i % 97));
        const uint8_t control = in.next();
        params.keyFrameRequest = control & 1;
        if (control & 2)
            params.quantiser = static_cast<int8_t>(in.next());
        if (control & 4)
            params.searchMode = in.next() % 3;
        // Capacities from a few bytes to plenty.
        const size_t capacity = (control & 8) ? size_t(in.next()) * 4 : size_t(width) * height * 3;
        std::vector<uint8_t> out(capacity + 16, kGuard);
        VxFramePlanes planes{picture.data(), picture.data() + size_t(stride) * height,
                             picture.data() + size_t(stride) * height * 5 / 4, stride};
        const int length = vx_encode(&params, &planes, out.data(), capacity);
        if (length < 0 || size_t(length) > capacity)
            std::abort();
        for (size_t i = size_t(length); i < out.size(); ++i)
            if (out[i] != kGuard)
                std::abort();
        if (length > 0) {
            VxFramePlanes* decoded = nullptr;
            if (vx_decode(&decoder, &decoded, out.data(), length) != length)
                std::abort();
            if (!samePicture(*decoded, *vx_encoder_reconstruction(&params), width, height))
                std::abort();
        }
    }
    vx_decoder_close(&decoder);
    vx_encoder_close(&params);
    return 0;
}
