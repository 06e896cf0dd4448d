// Bit I/O and the picture header: the exact bits written, both forms read, and every
// header the format forbids rejected.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codec/bit_reader.h"
#include "codec/bit_writer.h"
#include "codec/picture_header.h"

using namespace vantry::codec;

namespace {

// Builds a byte string from a text of '0' and '1' (other characters ignored), zero padded.
std::vector<uint8_t> fromBits(const std::string& text)
{
    std::vector<uint8_t> bytes;
    int count = 0;
    for (char c : text) {
        if (c != '0' && c != '1')
            continue;
        if (count % 8 == 0)
            bytes.push_back(0);
        if (c == '1')
            bytes.back() |= static_cast<uint8_t>(0x80 >> (count % 8));
        ++count;
    }
    return bytes;
}

std::string bitsOf(const std::vector<uint8_t>& bytes, size_t from, size_t count)
{
    std::string text;
    for (size_t i = from; i < from + count; ++i)
        text += (bytes[i / 8] & (0x80 >> (i % 8))) ? '1' : '0';
    return text;
}

std::vector<uint8_t> written(const PictureHeader& header)
{
    std::vector<uint8_t> buffer(64);
    BitWriter writer(buffer.data(), buffer.size());
    EXPECT_TRUE(writePictureHeader(writer, header));
    buffer.resize(writer.finish());
    return buffer;
}

const std::string kPsc = "0000 0000 0000 0000 1000 00";

} // namespace

TEST(BitIo, WriterIsMsbFirstPadsWithZerosAndNeverPassesCapacity)
{
    std::vector<uint8_t> buffer(4, 0xee);
    BitWriter writer(buffer.data(), 2);
    writer.put(0b101, 3);
    writer.put(0xabcd, 16);
    EXPECT_EQ(writer.bitCount(), 19u);
    EXPECT_EQ(writer.finish(), 2u);
    EXPECT_TRUE(writer.overflowed());
    EXPECT_EQ(buffer[0], 0b10110101);
    EXPECT_EQ(buffer[1], 0b01111001);
    EXPECT_EQ(buffer[2], 0xee) << "wrote past its capacity";

    std::vector<uint8_t> exact(3);
    BitWriter fits(exact.data(), exact.size());
    fits.put(0xffffffffu, 32 - 13);
    fits.put(1, 1);
    EXPECT_EQ(fits.finish(), 3u);
    EXPECT_FALSE(fits.overflowed());
    EXPECT_EQ(exact[2], 0xf0);
}

TEST(BitIo, ReaderSeesZerosPastTheEndAndReportsIt)
{
    const uint8_t data[] = {0xa5, 0xff};
    BitReader reader(data + 1, 1); // reading may start at any byte address
    EXPECT_EQ(reader.show(4), 0xfu);
    EXPECT_EQ(reader.read(8), 0xffu);
    EXPECT_FALSE(reader.exhausted());
    EXPECT_EQ(reader.read(20), 0u);
    EXPECT_TRUE(reader.exhausted());
    EXPECT_EQ(reader.bytesUsed(), 1u);

    std::vector<uint8_t> longer(20);
    for (size_t i = 0; i < longer.size(); ++i)
        longer[i] = static_cast<uint8_t>(i * 37);
    BitReader r(longer.data(), longer.size());
    for (size_t bit = 0; bit + 13 <= longer.size() * 8; bit += 13)
        EXPECT_EQ(r.read(13), std::stoul(bitsOf(longer, bit, 13), nullptr, 2)) << bit;
}

TEST(PictureHeader, WritesTheExtendedFormWithStandardAndCustomSizes)
{
    PictureHeader h;
    h.width = 352;
    h.height = 288;
    h.type = PictureType::Inter;
    h.quantiser = 13;
    h.temporalReference = 259; // modulo 256
    const auto standard = written(h);
    const std::string expected = kPsc + "00000011" + "10" + "000" + "111" + "001" + "011" + "0" + "0" +
                                 "000000000" + "1" + "000" + "001" + "000" + "00" + "1" + "0" + "01101" + "0";
    EXPECT_EQ(bitsOf(standard, 0, 75), bitsOf(fromBits(expected), 0, 75));
    EXPECT_EQ(standard.size(), 10u);

    h.width = 320;
    h.height = 240;
    h.type = PictureType::Intra;
    const auto custom = written(h);
    EXPECT_EQ(bitsOf(custom, 41, 3), "110");
    EXPECT_EQ(bitsOf(custom, 59, 3), "000");
    EXPECT_EQ(bitsOf(custom, 69, 23), "0010" "001001111" "1" "000111100"); // 79 and 60
    EXPECT_EQ(bitsOf(custom, 92, 6), "01101" "0");

    for (auto [w, hgt] : {std::pair{360, 240}, std::pair{0, 16}, std::pair{2064, 16}, std::pair{16, 2048}}) {
        std::vector<uint8_t> buffer(64);
        BitWriter writer(buffer.data(), buffer.size());
        PictureHeader bad = h;
        bad.width = w;
        bad.height = hgt;
        EXPECT_FALSE(writePictureHeader(writer, bad)) << w << "x" << hgt;
        EXPECT_EQ(writer.bitCount(), 0u);
    }
}

TEST(PictureHeader, ReadsWhatItWritesForEverySizeClass)
{
    const std::pair<int, int> sizes[] = {{128, 96}, {176, 144}, {352, 288}, {704, 576}, {1408, 1152},
                                         {320, 240}, {16, 16},  {2048, 2032}, {640, 480}};
    for (auto [w, h] : sizes) {
        for (PictureType type : {PictureType::Intra, PictureType::Inter}) {
            PictureHeader out;
            out.width = w;
            out.height = h;
            out.type = type;
            out.quantiser = 31;
            auto bytes = written(out);
            bytes.push_back(0xff); // macroblock data follows
            BitReader reader(bytes.data(), bytes.size());
            PictureHeader in;
            ASSERT_EQ(readPictureHeader(reader, in), HeaderStatus::Ok) << w << "x" << h;
            EXPECT_EQ(in.width, w);
            EXPECT_EQ(in.height, h);
            EXPECT_EQ(in.type, type);
            EXPECT_EQ(in.quantiser, 31);
            EXPECT_EQ(reader.positionBits(), standardSourceFormat(w, h) ? 75u : 98u);
        }
    }
}

TEST(PictureHeader, ReadsThePlainForm)
{
    // TR 5, PTYPE 1 0, 000, format 2 (176x144), P, UMV SAC AP PB 0, PQUANT 7, CPM 0, PEI 1 + spare, PEI 0.
    const auto bytes = fromBits(kPsc + "00000101" + "10" + "000" + "010" + "1" + "0000" + "00111" + "0" + "1" +
                                "10101010" + "0" + "1111");
    BitReader reader(bytes.data(), bytes.size());
    PictureHeader h;
    ASSERT_EQ(readPictureHeader(reader, h), HeaderStatus::Ok);
    EXPECT_EQ(h.width, 176);
    EXPECT_EQ(h.height, 144);
    EXPECT_EQ(h.type, PictureType::Inter);
    EXPECT_EQ(h.quantiser, 7);
    EXPECT_EQ(h.temporalReference, 5);
    EXPECT_EQ(reader.positionBits(), 22u + 8 + 2 + 3 + 3 + 1 + 4 + 5 + 1 + 1 + 8 + 1);
}

TEST(PictureHeader, SkipsAnExtendedPixelAspectRatio)
{
    const auto bytes = fromBits(kPsc + "00000000" "10" "000" "111" "001" "110" "0000" "0000000" "1" "000" "000" "000"
                                "00" "1" "0" "1111" "00001100" "00001011" "001001111" "1" "000111100" "01010" "0");
    BitReader reader(bytes.data(), bytes.size());
    PictureHeader h;
    ASSERT_EQ(readPictureHeader(reader, h), HeaderStatus::Ok);
    EXPECT_EQ(h.width, 320);
    EXPECT_EQ(h.height, 240);
    EXPECT_EQ(h.quantiser, 10);
}

TEST(PictureHeader, ExtendedFormWithoutSizeKeepsThePreviousSize)
{
    // UFEP 0: no OPPTYPE, MPPTYPE P, then PQUANT.
    const auto bytes = fromBits(kPsc + "00000000" + "10" + "000" + "111" + "000" + "001" + "000" + "00" + "1" + "0" +
                                "00100" + "0");
    PictureHeader h;
    BitReader first(bytes.data(), bytes.size());
    EXPECT_EQ(readPictureHeader(first, h), HeaderStatus::NoPreviousSize);
    BitReader reader(bytes.data(), bytes.size());
    ASSERT_EQ(readPictureHeader(reader, h, 320, 240), HeaderStatus::Ok);
    EXPECT_EQ(h.width, 320);
    EXPECT_EQ(h.height, 240);
    EXPECT_EQ(h.type, PictureType::Inter);
    EXPECT_EQ(h.quantiser, 4);
}

TEST(PictureHeader, RejectsWhatTheFormatForbids)
{
    const std::string ext = "10" "000" "111";
    // OPPTYPE up to and including the reserved bits, for 176x144.
    const std::string opptype = "001" "010" "0" "0" "0" "0" "00000000" "000";
    const std::string tail = "000" "00" "1" "0" "00101" "0";
    struct Case {
        const char* name;
        std::string bits;
        HeaderStatus expected;
    };
    const Case cases[] = {
        {"start code 33", "0000 0000 0000 0000 1000 01" "00000000" + ext + opptype + "000" + tail,
         HeaderStatus::BadStartCode},
        {"PTYPE bit 1 is 0", kPsc + "00000000" "00" "000" "111" + opptype + "000" + tail, HeaderStatus::BadMarker},
        {"PTYPE bit 2 is 1", kPsc + "00000000" "11" "000" "111" + opptype + "000" + tail, HeaderStatus::BadMarker},
        {"plain source format 0", kPsc + "00000000" "10" "000" "000" "0" "0000" "00101" "0" "0",
         HeaderStatus::BadSourceFormat},
        {"plain UMV", kPsc + "00000000" "10" "000" "010" "0" "1000" "00101" "0" "0", HeaderStatus::UnsupportedOption},
        {"plain PB frame", kPsc + "00000000" "10" "000" "010" "0" "0001" "00101" "0" "0",
         HeaderStatus::UnsupportedOption},
        {"UFEP 2", kPsc + "00000000" + ext + "010" + "010" + "0" "0" "0" "0" "00000000" "000" "000" + tail,
         HeaderStatus::UnsupportedOption},
        {"MPPTYPE 2", kPsc + "00000000" + ext + opptype + "010" + tail, HeaderStatus::BadPictureType},
        {"MPPTYPE 7", kPsc + "00000000" + ext + opptype + "111" + tail, HeaderStatus::BadPictureType},
        {"UMV set", kPsc + "00000000" + ext + "001" "010" "0" "1" "0" "0" "00000000" "000" "000" + tail,
         HeaderStatus::UnsupportedOption},
        {"AP set", kPsc + "00000000" + ext + "001" "010" "0" "0" "0" "1" "00000000" "000" "000" + tail,
         HeaderStatus::UnsupportedOption},
        {"OPPTYPE format 0", kPsc + "00000000" + ext + "001" "000" "0" "0" "0" "0" "00000000" "000" "000" + tail,
         HeaderStatus::BadSourceFormat},
        {"OPPTYPE format 7", kPsc + "00000000" + ext + "001" "111" "0" "0" "0" "0" "00000000" "000" "000" + tail,
         HeaderStatus::BadSourceFormat},
        {"custom height 0", kPsc + "00000000" + ext + "001" "110" "0" "0" "0" "0" "00000000" "000" "000" "000" "00" "1"
                                "0" "0010" "000000011" "1" "000000000" "00101" "0",
         HeaderStatus::BadSourceFormat},
        {"custom width 20", kPsc + "00000000" + ext + "001" "110" "0" "0" "0" "0" "00000000" "000" "000" "000" "00" "1"
                                 "0" "0010" "000000100" "1" "000000100" "00101" "0",
         HeaderStatus::BadSourceFormat},
        {"plain CPM", kPsc + "00000000" "10" "000" "010" "0" "0000" "00101" "1" "0", HeaderStatus::UnsupportedOption},
        {"custom PCF", kPsc + "00000000" + ext + "001" "010" "1" "0" "0" "0" "00000000" "000" "000" + tail,
         HeaderStatus::UnsupportedOption},
        {"SAC", kPsc + "00000000" + ext + "001" "010" "0" "0" "1" "0" "00000000" "000" "000" + tail,
         HeaderStatus::UnsupportedOption},
        {"slice structure", kPsc + "00000000" + ext + "001" "010" "0" "0" "0" "0" "00100001" "000" "000" + tail,
         HeaderStatus::UnsupportedOption},
        {"rounding type 1", kPsc + "00000000" + ext + opptype + "001" "001" "00" "1" "0" "00101" "0",
         HeaderStatus::UnsupportedOption},
        {"extended CPM", kPsc + "00000000" + ext + opptype + "001" "000" "00" "1" "1" "00101" "0",
         HeaderStatus::UnsupportedOption},
        {"quantiser 0", kPsc + "00000000" + ext + opptype + "000" "000" "00" "1" "0" "00000" "0",
         HeaderStatus::BadQuantiser},
        {"ends inside the header", kPsc + "00000000" + ext + "001", HeaderStatus::Truncated},
    };
    for (const Case& c : cases) {
        const auto bytes = fromBits(c.bits);
        BitReader reader(bytes.data(), bytes.size());
        PictureHeader h;
        h.width = 99;
        EXPECT_EQ(readPictureHeader(reader, h), c.expected) << c.name;
        EXPECT_EQ(h.width, 99) << c.name << ": header changed on failure";
    }
}
