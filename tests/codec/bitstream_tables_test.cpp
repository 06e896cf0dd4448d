// The look-up tables are derived from the code data; these tests check the derivation
// against the data and the data against the properties a decoder depends on.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <vector>
#include <tuple>

#include "codec/scan.h"
#include "codec/vlc_lookup.h"
#include "codec/vlc_tables.h"

using namespace vantry::codec;

namespace {

struct Code {
    uint32_t bits;
    int length;
};

// No code is a prefix of another, so every look-up index has at most one meaning.
void expectPrefixFree(const std::vector<Code>& codes, const char* name)
{
    for (size_t i = 0; i < codes.size(); ++i)
        for (size_t j = 0; j < codes.size(); ++j) {
            if (i == j || codes[i].length > codes[j].length)
                continue;
            const uint32_t prefix = codes[j].bits >> (codes[j].length - codes[i].length);
            EXPECT_NE(prefix, codes[i].bits) << name << " code " << i << " is a prefix of code " << j;
        }
}

// Counts the look-up entries that decode to something; equals the sum of 2^(N - length).
template <typename Table, typename Valid>
size_t validEntries(const Table& table, Valid valid)
{
    size_t count = 0;
    for (const auto& entry : table)
        count += valid(entry) ? 1 : 0;
    return count;
}

} // namespace

TEST(BitstreamTables, TcoefLookupMatchesEveryCodeAndNothingElse)
{
    std::vector<Code> codes;
    std::set<std::tuple<int, int, int>> symbols;
    size_t expectedEntries = 0;
    for (const TcoefCode& c : kTcoefCodes) {
        codes.push_back({c.bits, c.length});
        EXPECT_TRUE(symbols.insert({c.last, c.run, c.level}).second) << "duplicate symbol";
        expectedEntries += size_t{1} << (kTcoefLookupBits - c.length);
        // Both ends of the range of indexes that start with the code.
        const uint32_t first = uint32_t{c.bits} << (kTcoefLookupBits - c.length);
        const uint32_t lastIndex = first | ((uint32_t{1} << (kTcoefLookupBits - c.length)) - 1);
        for (uint32_t index : {first, lastIndex}) {
            const TcoefEntry e = kTcoefLookup[index];
            EXPECT_EQ(e.length, c.length);
            EXPECT_EQ(e.last, c.last);
            EXPECT_EQ(e.run, c.run);
            EXPECT_EQ(e.level, c.level);
        }
    }
    codes.push_back({kTcoefEscape.bits, kTcoefEscape.length});
    expectPrefixFree(codes, "TCOEF");
    EXPECT_EQ(validEntries(kTcoefLookup, [](const TcoefEntry& e) { return e.level != 0; }), expectedEntries);
    // Escape bits are not in the table: the decoder tests for them first.
    EXPECT_EQ(kTcoefLookup[uint32_t{kTcoefEscape.bits} << (kTcoefLookupBits - kTcoefEscape.length)].level, 0);
    // Level 13 at run 0 has no code of its own and goes through ESCAPE.
    EXPECT_EQ(symbols.count({0, 0, 13}), 0u);
    EXPECT_EQ(symbols.count({0, 0, 12}), 1u);
    EXPECT_EQ(symbols.count({1, 40, 1}), 1u);
}

TEST(BitstreamTables, McbpcCbpyAndMvdLookupsMatchTheirCodes)
{
    struct Case {
        const char* name;
        std::vector<Code> codes;
        int indexBits;
        size_t validEntries;
    };
    std::vector<Code> intra, inter, cbpy, mvd;
    for (const auto& c : kMcbpcIntraCodes) {
        intra.push_back({c.bits, c.length});
        const McbpcEntry e = kMcbpcIntraLookup[uint32_t{c.bits} << (kMcbpcIntraLookupBits - c.length)];
        EXPECT_EQ(e.mbType, c.mbType);
        EXPECT_EQ(e.cbpc, c.cbpc);
        EXPECT_EQ(e.length, c.length);
    }
    for (const auto& c : kMcbpcInterCodes) {
        inter.push_back({c.bits, c.length});
        const McbpcEntry e = kMcbpcInterLookup[uint32_t{c.bits} << (kMcbpcInterLookupBits - c.length)];
        EXPECT_EQ(e.mbType, c.mbType);
        EXPECT_EQ(e.cbpc, c.cbpc);
        EXPECT_EQ(e.length, c.length);
    }
    for (size_t value = 0; value < kCbpyCodes.size(); ++value) {
        const VlcCode c = kCbpyCodes[value];
        cbpy.push_back({c.bits, c.length});
        const CbpyEntry e = kCbpyLookup[uint32_t{c.bits} << (kCbpyLookupBits - c.length)];
        EXPECT_EQ(e.cbpy, value);
        EXPECT_EQ(e.length, c.length);
    }
    for (int value = -32; value <= 32; ++value) {
        const VlcCode c = kMvdCodes[static_cast<size_t>(std::abs(value))];
        const uint32_t bits = value == 0 ? c.bits : (uint32_t{c.bits} << 1) | (value < 0 ? 1 : 0);
        const int length = value == 0 ? c.length : c.length + 1;
        mvd.push_back({bits, length});
        const MvdEntry e = kMvdLookup[bits << (kMvdLookupBits - length)];
        EXPECT_EQ(e.value, value);
        EXPECT_EQ(e.length, length);
    }
    const Case cases[] = {
        {"MCBPC I", intra, kMcbpcIntraLookupBits,
         validEntries(kMcbpcIntraLookup, [](const McbpcEntry& e) { return e.length != 0; })},
        {"MCBPC P", inter, kMcbpcInterLookupBits,
         validEntries(kMcbpcInterLookup, [](const McbpcEntry& e) { return e.length != 0; })},
        {"CBPY", cbpy, kCbpyLookupBits, validEntries(kCbpyLookup, [](const CbpyEntry& e) { return e.length != 0; })},
        {"MVD", mvd, kMvdLookupBits, validEntries(kMvdLookup, [](const MvdEntry& e) { return e.length != 0; })},
    };
    for (const Case& c : cases) {
        expectPrefixFree(c.codes, c.name);
        size_t expected = 0;
        for (const Code& code : c.codes)
            expected += size_t{1} << (c.indexBits - code.length);
        EXPECT_EQ(c.validEntries, expected) << c.name;
    }
    // The stuffing code (0000 0000 1) is no valid MCBPC in either picture type.
    EXPECT_EQ(kMcbpcInterLookup[1].length, 0);
    EXPECT_EQ(kMcbpcIntraLookup[0].length, 0);
}

TEST(BitstreamTables, ZigzagIsAPermutationInDiagonalOrder)
{
    std::set<int> seen(kZigzag.begin(), kZigzag.end());
    EXPECT_EQ(seen.size(), 64u);
    EXPECT_EQ(*seen.rbegin(), 63);
    // Each step moves along an anti-diagonal or starts the next one.
    for (size_t i = 1; i < 64; ++i) {
        const int d0 = kZigzag[i - 1] / 8 + kZigzag[i - 1] % 8;
        const int d1 = kZigzag[i] / 8 + kZigzag[i] % 8;
        EXPECT_TRUE(d1 == d0 || d1 == d0 + 1) << i;
    }
}
