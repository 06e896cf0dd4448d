// The encoder's three operations: open, encode one picture, close.
#include "codec/vx_encoder.h"

#include "encoder_state.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace vantry::codec {
namespace {

using enc::SearchMode;

int clampQuantiser(int qp) { return std::clamp(qp, 1, 31); }

SearchMode clampSearchMode(int mode) { return static_cast<SearchMode>(std::clamp(mode, 0, 2)); }

// Interval as the counter uses it: 0 (and anything below) counts as 1.
int effectiveInterval(int interval) { return interval < 1 ? 1 : interval; }

bool allocateReconstruction(enc::ReconstructionBuffer& buffer, int width, int height) {
    const size_t luma = static_cast<size_t>(width) * static_cast<size_t>(height);
    const size_t chroma = luma / 4;
    const size_t slack = static_cast<size_t>(width) + 64;
    const size_t bytes = (luma + 2 * chroma + slack + 63) / 64 * 64;
    buffer.memory.reset(static_cast<uint8_t*>(std::aligned_alloc(64, bytes)));
    if (!buffer.memory)
        return false;
    std::memset(buffer.memory.get(), 0, bytes);
    buffer.planes.y = buffer.memory.get();
    buffer.planes.u = buffer.planes.y + luma;
    buffer.planes.v = buffer.planes.u + chroma;
    buffer.planes.stride = width;
    return true;
}

bool usableInput(const VxEncoderState& s, const VxFramePlanes* input) {
    return input && input->y && input->u && input->v && input->stride >= s.width;
}

// Quantisers tried, in order, for a picture that does not fit: each about a third larger
// than the last, ending at 31.
int nextQuantiser(int qp) { return std::min(31, std::max(qp + 1, qp + qp / 3)); }

}  // namespace

int vx_encoder_open(VxEncoderParams* params) {
    if (!params)
        return -1;
    const int width = params->width;
    const int height = params->height;
    if (width <= 0 || height <= 0 || width % 16 != 0 || height % 16 != 0 || width > kMaxPictureWidth ||
        height > kMaxPictureHeight)
        return -1;

    auto* raw = static_cast<VxEncoderState*>(std::aligned_alloc(64, (sizeof(VxEncoderState) + 63) / 64 * 64));
    if (!raw)
        return -1;
    std::unique_ptr<VxEncoderState, void (*)(VxEncoderState*)> state(new (raw) VxEncoderState, [](VxEncoderState* p) {
        p->~VxEncoderState();
        std::free(p);
    });

    VxEncoderState& s = *state;
    s.width = width;
    s.height = height;
    s.mbColumns = width / 16;
    s.mbRows = height / 16;
    s.keyFrameInterval = params->keyFrameInterval;
    s.quantiser = clampQuantiser(params->quantiser);
    s.searchMode = clampSearchMode(params->searchMode);
    s.allIntra = params->keyFrameInterval <= 1;
    s.counter = 0;
    try {
        s.vectors.assign(static_cast<size_t>(s.mbColumns) * static_cast<size_t>(s.mbRows), MotionVector{});
    } catch (const std::bad_alloc&) {
        return -1;
    }
    if (!allocateReconstruction(s.buffers[0], width, height) || !allocateReconstruction(s.buffers[1], width, height))
        return -1;
    s.kernels = &enc::encoderKernels();
    s.codes = enc::CoefficientCodeTable::acquire();
    if (!s.codes)
        return -1;
    enc::buildQuantTables(s.quantTables, s.quantiser);

    params->state = state.release();
    return 0;
}

void vx_encoder_close(VxEncoderParams* params) {
    if (!params || !params->state)
        return;
    VxEncoderState* s = params->state;
    if (s->codes)
        enc::CoefficientCodeTable::release();
    s->~VxEncoderState();
    std::free(s);
    params->state = nullptr;
}

int vx_encode(VxEncoderParams* params, const VxFramePlanes* input, uint8_t* output, size_t capacityBytes) {
    if (!params || !params->state)
        return 0;
    VxEncoderState& s = *params->state;

    // Changes the caller made in the block since the last picture.
    s.quantiser = clampQuantiser(params->quantiser);
    s.keyFrameInterval = params->keyFrameInterval;
    s.searchMode = clampSearchMode(params->searchMode);
    if (params->keyFrameRequest == 1)
        s.counter = 0;

    const int interval = effectiveInterval(s.keyFrameInterval);
    // A P-picture needs the previous picture's reconstruction; after a picture that was not
    // sent (or not reconstructed) this picture is an I-picture whatever the counter says.
    if (!s.allIntra && !s.referenceValid)
        s.counter = 0;
    const bool intra = s.allIntra || s.counter % interval == 0;
    s.pictureType = intra ? PictureType::Intra : PictureType::Inter;
    s.reconstructionNeeded = !s.allIntra && (s.counter + 1) % interval != 0;
    const bool reconstruct = s.reconstructionNeeded || s.fullReconstruction;
    params->keyFlag = intra ? 1 : 0;

    if (!usableInput(s, input) || !output || capacityBytes == 0) {
        s.referenceValid = false;
        s.counter = 0;
        return 0;
    }

    s.currentBuffer = 1 - s.currentBuffer;  // the picture just coded becomes the reference

    // Pictures that may not fit are assembled aside and copied out only once they do.
    const size_t worstCase = enc::worstCasePictureBytes(s.width, s.height);
    uint8_t* target = output;
    if (capacityBytes < worstCase) {
        if (s.scratch.size() < capacityBytes) {
            try {
                s.scratch.resize(capacityBytes);
            } catch (const std::bad_alloc&) {
                s.referenceValid = false;
                s.counter = 0;
                return 0;
            }
        }
        target = s.scratch.data();
    }

    int qp = s.quantiser;
    for (;;) {
        BitWriter writer(target, capacityBytes);
        if (enc::encodePicture(s, *input, writer, qp, reconstruct)) {
            const size_t length = writer.finish();
            if (!writer.overflowed()) {
                if (target != output)
                    std::memcpy(output, target, length);
                s.referenceValid = s.reconstructionNeeded || s.fullReconstruction;
                s.counter = (s.counter + 1) % interval;
                return static_cast<int>(length);
            }
        }
        if (qp == 31)
            break;
        qp = nextQuantiser(qp);
    }
    // Not even the coarsest quantiser fits: nothing is sent and the decoder's next picture
    // must not depend on this one.
    s.referenceValid = false;
    s.counter = 0;
    return 0;
}

void vx_encoder_set_full_reconstruction(VxEncoderParams* params, bool enabled) {
    if (params && params->state)
        params->state->fullReconstruction = enabled;
}

const VxFramePlanes* vx_encoder_reconstruction(const VxEncoderParams* params) {
    if (!params || !params->state)
        return nullptr;
    return &params->state->current();
}

}  // namespace vantry::codec
