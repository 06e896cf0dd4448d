#pragma once
// Look-up tables for decoding, derived from the code data in vlc_tables.h at compile
// time: each is indexed by the next N bits of the stream and gives the symbol and the
// code length to consume (length 0: no valid code starts with those bits).
#include <array>
#include <cstddef>
#include <cstdint>

#include "codec/vlc_tables.h"

namespace vantry::codec {

struct McbpcEntry {
    uint8_t mbType;
    uint8_t cbpc;
    uint8_t length;
};
struct CbpyEntry {
    uint8_t cbpy; // intra meaning
    uint8_t length;
};
struct MvdEntry {
    int8_t value; // half samples, sign included
    uint8_t length; // code plus sign bit
};
struct TcoefEntry {
    uint8_t last;
    uint8_t run;
    uint8_t level; // |LEVEL|; 0 marks no valid code
    uint8_t length; // without the sign bit
};

inline constexpr int kMcbpcIntraLookupBits = 6;
inline constexpr int kMcbpcInterLookupBits = 9;
inline constexpr int kCbpyLookupBits = 6;
inline constexpr int kMvdLookupBits = 13;
inline constexpr int kTcoefLookupBits = 12;

namespace detail {

// Fills every index whose leading bits equal the code.
template <typename Entry, size_t N>
constexpr void fillCode(std::array<Entry, N>& table, int indexBits, uint32_t bits, int length, const Entry& entry)
{
    const int freeBits = indexBits - length;
    const uint32_t first = bits << freeBits;
    for (uint32_t i = 0; i < (uint32_t{1} << freeBits); ++i)
        table[first + i] = entry;
}

template <size_t N>
constexpr std::array<McbpcEntry, size_t{1} << N> buildMcbpc(const McbpcCode* codes, size_t count)
{
    std::array<McbpcEntry, size_t{1} << N> table{};
    for (size_t i = 0; i < count; ++i)
        fillCode(table, static_cast<int>(N), codes[i].bits, codes[i].length,
                 McbpcEntry{codes[i].mbType, codes[i].cbpc, codes[i].length});
    return table;
}

constexpr std::array<CbpyEntry, 64> buildCbpy()
{
    std::array<CbpyEntry, 64> table{};
    for (size_t value = 0; value < kCbpyCodes.size(); ++value)
        fillCode(table, kCbpyLookupBits, kCbpyCodes[value].bits, kCbpyCodes[value].length,
                 CbpyEntry{static_cast<uint8_t>(value), kCbpyCodes[value].length});
    return table;
}

constexpr std::array<MvdEntry, 1 << kMvdLookupBits> buildMvd()
{
    std::array<MvdEntry, 1 << kMvdLookupBits> table{};
    fillCode(table, kMvdLookupBits, kMvdCodes[0].bits, kMvdCodes[0].length, MvdEntry{0, kMvdCodes[0].length});
    for (int magnitude = 1; magnitude < static_cast<int>(kMvdCodes.size()); ++magnitude) {
        const VlcCode code = kMvdCodes[static_cast<size_t>(magnitude)];
        const auto length = static_cast<uint8_t>(code.length + 1);
        fillCode(table, kMvdLookupBits, uint32_t{code.bits} << 1, length,
                 MvdEntry{static_cast<int8_t>(magnitude), length});
        fillCode(table, kMvdLookupBits, (uint32_t{code.bits} << 1) | 1, length,
                 MvdEntry{static_cast<int8_t>(-magnitude), length});
    }
    return table;
}

constexpr std::array<TcoefEntry, 1 << kTcoefLookupBits> buildTcoef()
{
    std::array<TcoefEntry, 1 << kTcoefLookupBits> table{};
    for (const TcoefCode& code : kTcoefCodes)
        fillCode(table, kTcoefLookupBits, code.bits, code.length,
                 TcoefEntry{code.last, code.run, code.level, code.length});
    return table;
}

} // namespace detail

inline constexpr auto kMcbpcIntraLookup =
    detail::buildMcbpc<kMcbpcIntraLookupBits>(kMcbpcIntraCodes.data(), kMcbpcIntraCodes.size());
inline constexpr auto kMcbpcInterLookup =
    detail::buildMcbpc<kMcbpcInterLookupBits>(kMcbpcInterCodes.data(), kMcbpcInterCodes.size());
inline constexpr auto kCbpyLookup = detail::buildCbpy();
inline constexpr auto kMvdLookup = detail::buildMvd();
// ESCAPE is not in this table; callers test for it first.
inline constexpr auto kTcoefLookup = detail::buildTcoef();

} // namespace vantry::codec
