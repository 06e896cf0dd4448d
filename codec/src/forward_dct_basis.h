// The forward transform's basis in 14-bit fixed point for the processor-specific forms:
// round(16384 * c(u) * cos((2j + 1) u pi / 16)) for j = 0..3. Even frequencies apply them to
// the sums x[j] + x[7 - j], odd frequencies to the differences x[j] - x[7 - j]. The kernel
// checker holds these forms within a unit of the double-precision plain form.
#pragma once

#include <cstdint>

namespace vantry::codec::enc {

inline constexpr int16_t kForwardDctBasis[8][4] = {
    {5793, 5793, 5793, 5793},   {8035, 6811, 4551, 1598},   {7568, 3135, -3135, -7568}, {6811, -1598, -8035, -4551},
    {5793, -5793, -5793, 5793}, {4551, -8035, 1598, 6811},  {3135, -7568, 7568, -3135}, {1598, -4551, 6811, -8035},
};

// Pairs (basis[u][2k], basis[u][2k + 1]) repeated across a register of kLanes int16 values,
// ready for pmaddwd.
template <int kLanes>
struct ForwardDctPairs {
    alignas(32) int16_t pair[8][2][kLanes];
    constexpr ForwardDctPairs() : pair{} {
        for (int u = 0; u < 8; ++u)
            for (int k = 0; k < 2; ++k)
                for (int lane = 0; lane < kLanes; ++lane)
                    pair[u][k][lane] = kForwardDctBasis[u][2 * k + (lane & 1)];
    }
};

}  // namespace vantry::codec::enc
