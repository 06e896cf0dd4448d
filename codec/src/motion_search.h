// Block matching for one 16x16 macroblock against the reference reconstruction.
#pragma once

#include "encoder_kernels.h"

#include <cstdint>

namespace vantry::codec::enc {

enum class SearchMode : int { Zero = 0, Diamond = 1, Full = 2 };

// Search range of the full-sample displacement in each direction. With the half-sample step
// on top, every vector stays within +-15 half samples.
inline constexpr int kSearchRange = 7;

struct MotionSearch {
    const EncoderKernels* kernels = nullptr;
    const uint8_t* input = nullptr;      // luma of the picture being encoded
    int inputStride = 0;
    const uint8_t* reference = nullptr;  // luma of the reference reconstruction
    int referenceStride = 0;
    int width = 0;
    int height = 0;
};

struct Displacement {
    int dx = 0;     // full samples
    int dy = 0;
    int sad = 0;    // full-sample SAD of the chosen displacement
};

// Best full-sample displacement for the macroblock whose top-left luma sample is (x0, y0).
Displacement searchFullSample(const MotionSearch& search, SearchMode mode, int x0, int y0);

// Half-sample refinement around a full-sample displacement; returns the vector in half samples.
struct HalfSampleVector {
    int x = 0;
    int y = 0;
};
HalfSampleVector refineHalfSample(const MotionSearch& search, int x0, int y0, const Displacement& best);

// Intra coding pays off when no displacement predicts the macroblock clearly better than
// its own mean does: inter only when SAD < activity + 500.
inline bool preferIntra(int sad, int activity) { return sad >= activity + 500; }

}  // namespace vantry::codec::enc
