#pragma once
// The variable-length codes of the format, each declared once as data. Codes are given
// as (bits, length) with the code right-aligned in bits; a sign bit, where the syntax has
// one, follows the code and is not part of it. The fast look-up tables in vlc_lookup.h
// are derived from these.
#include <array>
#include <cstddef>
#include <cstdint>

namespace vantry::codec {

// Macroblock types (numbering of the macroblock type field).
enum MacroblockType : uint8_t {
    kMbInter = 0,
    kMbInterQ = 1,
    kMbInter4V = 2, // not part of the format: a decoder treats it as damage
    kMbIntra = 3,
    kMbIntraQ = 4,
};

struct McbpcCode {
    uint8_t mbType;
    uint8_t cbpc; // bit 1 Cb, bit 0 Cr
    uint16_t bits;
    uint8_t length;
};

// MCBPC of I-pictures (the stuffing code is not part of the format).
inline constexpr std::array<McbpcCode, 8> kMcbpcIntraCodes = {{
    {kMbIntra, 0, 0b1, 1},
    {kMbIntra, 1, 0b001, 3},
    {kMbIntra, 2, 0b010, 3},
    {kMbIntra, 3, 0b011, 3},
    {kMbIntraQ, 0, 0b0001, 4},
    {kMbIntraQ, 1, 0b000001, 6},
    {kMbIntraQ, 2, 0b000010, 6},
    {kMbIntraQ, 3, 0b000011, 6},
}};

// MCBPC of P-pictures. INTER4V is listed so that a decoder recognises it (and marks the
// macroblock damaged) instead of misreading it as another code.
inline constexpr std::array<McbpcCode, 20> kMcbpcInterCodes = {{
    {kMbInter, 0, 0b1, 1},
    {kMbInter, 1, 0b0011, 4},
    {kMbInter, 2, 0b0010, 4},
    {kMbInter, 3, 0b000101, 6},
    {kMbInterQ, 0, 0b011, 3},
    {kMbInterQ, 1, 0b0000111, 7},
    {kMbInterQ, 2, 0b0000110, 7},
    {kMbInterQ, 3, 0b000000101, 9},
    {kMbInter4V, 0, 0b010, 3},
    {kMbInter4V, 1, 0b0000101, 7},
    {kMbInter4V, 2, 0b0000100, 7},
    {kMbInter4V, 3, 0b00000101, 8},
    {kMbIntra, 0, 0b00011, 5},
    {kMbIntra, 1, 0b00000100, 8},
    {kMbIntra, 2, 0b00000011, 8},
    {kMbIntra, 3, 0b0000011, 7},
    {kMbIntraQ, 0, 0b000100, 6},
    {kMbIntraQ, 1, 0b000000100, 9},
    {kMbIntraQ, 2, 0b000000011, 9},
    {kMbIntraQ, 3, 0b000000010, 9},
}};

struct VlcCode {
    uint16_t bits;
    uint8_t length;
};

// CBPY indexed by the intra meaning of the pattern (bit 3 = block 0). Inter macroblocks
// send the code of 15 minus their pattern.
inline constexpr std::array<VlcCode, 16> kCbpyCodes = {{
    {0b0011, 4}, {0b00101, 5}, {0b00100, 5}, {0b1001, 4},
    {0b00011, 5}, {0b0111, 4}, {0b000010, 6}, {0b1011, 4},
    {0b00010, 5}, {0b000011, 6}, {0b0101, 4}, {0b1010, 4},
    {0b0100, 4}, {0b1000, 4}, {0b0110, 4}, {0b11, 2},
}};

// Motion vector differences: the code of |v| for v = 0..32 half samples; a sign bit
// (0 positive, 1 negative) follows every code but the one of 0.
inline constexpr std::array<VlcCode, 33> kMvdCodes = {{
    {1, 1}, {1, 2}, {1, 3}, {1, 4}, {3, 6}, {5, 7}, {4, 7}, {3, 7},
    {11, 9}, {10, 9}, {9, 9}, {17, 10}, {16, 10}, {15, 10}, {14, 10}, {13, 10},
    {12, 10}, {11, 10}, {10, 10}, {9, 10}, {8, 10}, {7, 10}, {6, 10}, {5, 10},
    {4, 10}, {7, 11}, {6, 11}, {5, 11}, {4, 11}, {3, 11}, {2, 11}, {3, 12},
    {2, 12},
}};

struct TcoefCode {
    uint8_t last;
    uint8_t run;
    uint8_t level; // |LEVEL|; a sign bit follows the code
    uint16_t bits;
    uint8_t length;
};

// The 102 transform-coefficient codes.
inline constexpr std::array<TcoefCode, 102> kTcoefCodes = {{
    {0, 0, 1, 0x2, 2},   {0, 0, 2, 0xf, 4},   {0, 0, 3, 0x15, 6},  {0, 0, 4, 0x17, 7},
    {0, 0, 5, 0x1f, 8},  {0, 0, 6, 0x25, 9},  {0, 0, 7, 0x24, 9},  {0, 0, 8, 0x21, 10},
    {0, 0, 9, 0x20, 10}, {0, 0, 10, 0x7, 11}, {0, 0, 11, 0x6, 11}, {0, 0, 12, 0x20, 11},
    {0, 1, 1, 0x6, 3},   {0, 1, 2, 0x14, 6},  {0, 1, 3, 0x1e, 8},  {0, 1, 4, 0xf, 10},
    {0, 1, 5, 0x21, 11}, {0, 1, 6, 0x50, 12}, {0, 2, 1, 0xe, 4},   {0, 2, 2, 0x1d, 8},
    {0, 2, 3, 0xe, 10},  {0, 2, 4, 0x51, 12}, {0, 3, 1, 0xd, 5},   {0, 3, 2, 0x23, 9},
    {0, 3, 3, 0xd, 10},  {0, 4, 1, 0xc, 5},   {0, 4, 2, 0x22, 9},  {0, 4, 3, 0x52, 12},
    {0, 5, 1, 0xb, 5},   {0, 5, 2, 0xc, 10},  {0, 5, 3, 0x53, 12}, {0, 6, 1, 0x13, 6},
    {0, 6, 2, 0xb, 10},  {0, 6, 3, 0x54, 12}, {0, 7, 1, 0x12, 6},  {0, 7, 2, 0xa, 10},
    {0, 8, 1, 0x11, 6},  {0, 8, 2, 0x9, 10},  {0, 9, 1, 0x10, 6},  {0, 9, 2, 0x8, 10},
    {0, 10, 1, 0x16, 7}, {0, 10, 2, 0x55, 12}, {0, 11, 1, 0x15, 7}, {0, 12, 1, 0x14, 7},
    {0, 13, 1, 0x1c, 8}, {0, 14, 1, 0x1b, 8}, {0, 15, 1, 0x21, 9}, {0, 16, 1, 0x20, 9},
    {0, 17, 1, 0x1f, 9}, {0, 18, 1, 0x1e, 9}, {0, 19, 1, 0x1d, 9}, {0, 20, 1, 0x1c, 9},
    {0, 21, 1, 0x1b, 9}, {0, 22, 1, 0x1a, 9}, {0, 23, 1, 0x22, 11}, {0, 24, 1, 0x23, 11},
    {0, 25, 1, 0x56, 12}, {0, 26, 1, 0x57, 12},
    {1, 0, 1, 0x7, 4},   {1, 0, 2, 0x19, 9},  {1, 0, 3, 0x5, 11},  {1, 1, 1, 0xf, 6},
    {1, 1, 2, 0x4, 11},  {1, 2, 1, 0xe, 6},   {1, 3, 1, 0xd, 6},   {1, 4, 1, 0xc, 6},
    {1, 5, 1, 0x13, 7},  {1, 6, 1, 0x12, 7},  {1, 7, 1, 0x11, 7},  {1, 8, 1, 0x10, 7},
    {1, 9, 1, 0x1a, 8},  {1, 10, 1, 0x19, 8}, {1, 11, 1, 0x18, 8}, {1, 12, 1, 0x17, 8},
    {1, 13, 1, 0x16, 8}, {1, 14, 1, 0x15, 8}, {1, 15, 1, 0x14, 8}, {1, 16, 1, 0x13, 8},
    {1, 17, 1, 0x18, 9}, {1, 18, 1, 0x17, 9}, {1, 19, 1, 0x16, 9}, {1, 20, 1, 0x15, 9},
    {1, 21, 1, 0x14, 9}, {1, 22, 1, 0x13, 9}, {1, 23, 1, 0x12, 9}, {1, 24, 1, 0x11, 9},
    {1, 25, 1, 0x7, 10}, {1, 26, 1, 0x6, 10}, {1, 27, 1, 0x5, 10}, {1, 28, 1, 0x4, 10},
    {1, 29, 1, 0x24, 11}, {1, 30, 1, 0x25, 11}, {1, 31, 1, 0x26, 11}, {1, 32, 1, 0x27, 11},
    {1, 33, 1, 0x58, 12}, {1, 34, 1, 0x59, 12}, {1, 35, 1, 0x5a, 12}, {1, 36, 1, 0x5b, 12},
    {1, 37, 1, 0x5c, 12}, {1, 38, 1, 0x5d, 12}, {1, 39, 1, 0x5e, 12}, {1, 40, 1, 0x5f, 12},
}};

// ESCAPE, followed by LAST (1 bit), RUN (6 bits) and LEVEL (8 bits, two's complement).
inline constexpr VlcCode kTcoefEscape = {0b0000011, 7};

// Differential quantiser: the 2-bit code indexes the change.
inline constexpr std::array<int8_t, 4> kDquantChange = {-1, -2, 1, 2};

// The picture start code, 22 bits.
inline constexpr uint32_t kPictureStartCode = 0x20;
inline constexpr int kPictureStartCodeBits = 22;

} // namespace vantry::codec
