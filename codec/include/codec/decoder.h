#pragma once
// The picture decoder: one coded picture in, one 4:2:0 picture out. A handle is used by
// one thread at a time; handles on different threads are independent.
#include <cstdint>

#include "codec/frame_planes.h"

namespace vantry::codec {

// Owned by the caller; the decoder fills in the fields.
struct VxDecoderHandle {
    int32_t width = 0;    // luma width of the pictures being decoded
    int32_t height = 0;   // luma height
    int32_t reserved = 0;
    int32_t keyFlag = 0;  // 1 after an I-picture, 0 after a P-picture
    void* state = nullptr; // created by vx_decoder_open, freed by vx_decoder_close
};

// Creates the decoder state (no picture buffers yet). Returns 0, or -1 if memory is short
// or handle is null.
int vx_decoder_open(VxDecoderHandle* handle);

// Decodes the picture at data (lengthBytes bytes). Returns the bytes the picture used,
// or -1 if its header is unusable (the decoder's state and pictures are then unchanged,
// so the next P-picture still predicts from the last good one). On success *planes
// points at the decoded picture, owned by the decoder and valid until the next call.
// Macroblock data that is damaged or ends early does not fail the picture: from the
// first bad macroblock on, the picture repeats the previous one.
int vx_decode(VxDecoderHandle* handle, VxFramePlanes** planes, const uint8_t* data, int32_t lengthBytes);

// Frees everything; the state becomes null. Safe on a closed handle.
void vx_decoder_close(VxDecoderHandle* handle);

// Macroblocks of the last decoded picture that were damaged or missing and repeated from
// the previous picture (0 for a clean picture, -1 for a closed handle).
int vx_decoder_damaged_macroblocks(const VxDecoderHandle* handle);

} // namespace vantry::codec
