// Fuzz target for the decoder: the input is a raw stream of pictures decoded one after
// another on one handle (so P-pictures, size changes and failed headers meet the state
// left by earlier pictures), then the whole input once as a single picture.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "codec/decoder.h"
#include "codec/raw_stream.h"

using namespace vantry::codec;

namespace {

// Touches every sample of a decoded picture so that a sanitizer sees any bad plane.
void consume(const VxDecoderHandle& handle, const VxFramePlanes* planes)
{
    unsigned sum = 0;
    for (int y = 0; y < handle.height; ++y)
        for (int x = 0; x < handle.width; ++x)
            sum += planes->y[y * planes->stride + x];
    for (int y = 0; y < handle.height / 2; ++y)
        for (int x = 0; x < handle.width / 2; ++x)
            sum += planes->u[y * planes->stride / 2 + x] + planes->v[y * planes->stride / 2 + x];
    if (sum == 0xffffffffu)
        std::abort(); // never: keeps the loop from being optimised away
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 22))
        return 0;
    VxDecoderHandle handle;
    if (vx_decoder_open(&handle) != 0)
        return 0;
    for (const PictureSpan& picture : splitRawStream(data, size)) {
        VxFramePlanes* planes = nullptr;
        const int used = vx_decode(&handle, &planes, data + picture.offset, static_cast<int32_t>(picture.length));
        if (used > static_cast<int>(picture.length))
            std::abort();
        if (used >= 0)
            consume(handle, planes);
    }
    VxFramePlanes* planes = nullptr;
    if (size > 0 && vx_decode(&handle, &planes, data, static_cast<int32_t>(size)) >= 0)
        consume(handle, planes);
    vx_decoder_close(&handle);
    return 0;
}
