// The state behind an encoder parameter block.
#pragma once

#include "coefficient_code_table.h"
#include "encoder_kernels.h"
#include "motion_search.h"

#include "codec/bit_writer.h"
#include "codec/frame_planes.h"
#include "codec/motion_vector.h"
#include "codec/vx_encoder.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

namespace vantry::codec {

namespace enc {

struct AlignedFree {
    void operator()(uint8_t* p) const { std::free(p); }
};
using AlignedBytes = std::unique_ptr<uint8_t, AlignedFree>;

// One reconstructed picture: Y, then U, then V in one 64-byte aligned allocation, with a
// little slack after V so that an interpolating read at the last row stays inside.
struct ReconstructionBuffer {
    AlignedBytes memory;
    VxFramePlanes planes;
};

}  // namespace enc

struct VxEncoderState {
    int width = 0;
    int height = 0;
    int mbColumns = 0;
    int mbRows = 0;
    int keyFrameInterval = 0;
    int quantiser = 0;
    enc::SearchMode searchMode = enc::SearchMode::Zero;
    bool allIntra = false;
    int counter = 0;
    PictureType pictureType = PictureType::Intra;
    bool reconstructionNeeded = false;
    bool fullReconstruction = false;
    // False until a picture has been reconstructed completely; a P-picture is only coded
    // against a reconstruction that exists.
    bool referenceValid = false;

    enc::ReconstructionBuffer buffers[2];
    int currentBuffer = 0;

    std::vector<MotionVector> vectors;
    enc::QuantTables quantTables;

    // Output of a picture whose worst case exceeds the caller's capacity is assembled here
    // first, so that a picture that does not fit leaves the caller's buffer untouched.
    std::vector<uint8_t> scratch;

    const enc::EncoderKernels* kernels = nullptr;
    const enc::CoefficientCodeTable* codes = nullptr;

    VxFramePlanes& current() { return buffers[currentBuffer].planes; }
    VxFramePlanes& reference() { return buffers[1 - currentBuffer].planes; }
};

namespace enc {

// Codes one picture into writer with quantiser qp; stops early once the writer overflows.
// Returns false when the output did not fit.
bool encodePicture(VxEncoderState& state, const VxFramePlanes& input, BitWriter& writer, int qp,
                   bool reconstruct);

// Largest number of bytes a picture of this size can take.
size_t worstCasePictureBytes(int width, int height);

}  // namespace enc
}  // namespace vantry::codec
