// The encoder's code table for every (LAST, RUN, LEVEL) event: the variable-length code with
// its sign bit where the format has one, else the 22-bit ESCAPE form. One table serves every
// encoder of the process; it exists while at least one encoder is open.
#pragma once

#include <cstdint>

namespace vantry::codec::enc {

inline constexpr int kMaxCodedLevel = 127;

class CoefficientCodeTable {
public:
    struct Code {
        uint32_t bits;
        int length;
    };

    // level in -127..127 without 0, run 0..63, last 0 or 1.
    Code code(int last, int run, int level) const {
        const uint32_t packed = entries_[index(last, run, level)];
        return {packed >> 5, static_cast<int>(packed & 31)};
    }

    // Shared instance: acquire() builds it on first use, release() frees it with the last user.
    static const CoefficientCodeTable* acquire();
    static void release();

    CoefficientCodeTable();

private:
    static int index(int last, int run, int level) { return ((last * 64 + run) << 8) + (level + 128); }
    // code bits << 5 | length; codes are at most 22 bits long.
    uint32_t entries_[2 * 64 * 256];
};

}  // namespace vantry::codec::enc
