#pragma once
// The VX01 encoder: a constant-quantiser encoder of I- and P-pictures on plain buffers.
// Callers zero the parameter block, fill in the first five fields and open it; between calls
// they may change the quantiser, the key-frame interval, the search mode and the key-frame
// request, which take effect at the next vx_encode.
#include "codec/frame_planes.h"

#include <cstddef>
#include <cstdint>

namespace vantry::codec {

struct VxEncoderState;

enum VxSearchMode : int32_t {
    kVxSearchZero = 0,     // zero vector only
    kVxSearchDiamond = 1,  // diamond search with half-sample refinement
    kVxSearchFull = 2,     // full search of +-7 samples with half-sample refinement
};

struct VxEncoderParams {
    int32_t width = 0;             // luma width, a multiple of 16 (at most 2048)
    int32_t height = 0;            // luma height, a multiple of 16 (at most 2032)
    int32_t quantiser = 0;         // QP 1..31; values outside are clamped
    int32_t keyFrameInterval = 0;  // pictures from one I-picture to the next; 0 and 1: all I
    int32_t searchMode = 0;        // VxSearchMode
    int32_t keyFrameRequest = 0;   // 1: the next picture is an I-picture; the caller clears it
    int32_t reserved0 = 0;
    int32_t reserved1 = 0;
    int32_t keyFlag = 0;           // output: 1 if the picture just encoded is an I-picture
    VxEncoderState* state = nullptr;
};

// Creates the encoder state. Returns 0, or -1 if the size is not a multiple of 16, is empty
// or too large for the format, or memory is short (nothing stays allocated then).
int vx_encoder_open(VxEncoderParams* params);

// Encodes one picture and returns the number of bytes written to output, never more than
// capacityBytes. A picture that would not fit is encoded again with a higher quantiser;
// when even quantiser 31 does not fit, or the input is unusable (null planes, a stride
// narrower than the picture), nothing is written, the result is 0 and the next picture
// is an I-picture.
int vx_encode(VxEncoderParams* params, const VxFramePlanes* input, uint8_t* output, size_t capacityBytes);

// Frees the state; safe when the state is already null.
void vx_encoder_close(VxEncoderParams* params);

// Tools and tests: keep the reconstruction of every picture, including those that no later
// P-picture refers to (the encoder normally skips them), and read it back. The planes stay
// valid until the next vx_encode or vx_encoder_close; null when the encoder is not open.
void vx_encoder_set_full_reconstruction(VxEncoderParams* params, bool enabled);
const VxFramePlanes* vx_encoder_reconstruction(const VxEncoderParams* params);

}  // namespace vantry::codec
