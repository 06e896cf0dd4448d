#pragma once
// Hand-built coded pictures for decoder tests: each syntax element is written with the
// format's code tables, so a test states exactly which bits the decoder sees.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "codec/bit_writer.h"
#include "codec/picture_header.h"
#include "codec/vlc_tables.h"

namespace vantry::codec::test {

struct CoefficientEvent {
    int last;
    int run;
    int level;
};
using BlockEvents = std::vector<CoefficientEvent>;

class TestPicture {
public:
    TestPicture(int width, int height, PictureType type, int qp)
        : buffer_(static_cast<size_t>(width) * static_cast<size_t>(height) * 4 + 64), writer_(buffer_.data(), buffer_.size())
    {
        PictureHeader header;
        header.width = width;
        header.height = height;
        header.type = type;
        header.quantiser = qp;
        writePictureHeader(writer_, header);
    }

    BitWriter& writer() { return writer_; }
    void bits(uint32_t value, int count) { writer_.put(value, count); }

    void notCoded() { writer_.put(1, 1); }

    // An intra macroblock: in a P-picture with a COD bit and the P-picture MCBPC table.
    void intra(bool inPPicture, int cbpc, int cbpy, const int (&dc)[6], const BlockEvents (&events)[6] = kNoEvents,
               int dquantCode = -1)
    {
        const uint8_t type = dquantCode >= 0 ? kMbIntraQ : kMbIntra;
        if (inPPicture)
            writer_.put(0, 1);
        putMcbpc(inPPicture, type, cbpc);
        putCode(kCbpyCodes[static_cast<size_t>(cbpy)]);
        if (dquantCode >= 0)
            writer_.put(static_cast<uint32_t>(dquantCode), 2);
        const int cbp = cbpy * 4 + cbpc;
        for (int b = 0; b < 6; ++b) {
            writer_.put(static_cast<uint32_t>(dc[b]), 8);
            if (cbp & (32 >> b))
                putEvents(events[b]);
        }
    }

    // An inter macroblock with the given luma pattern (true meaning) and vector differences.
    void inter(int cbpc, int cbpy, int mvdX, int mvdY, const BlockEvents (&events)[6] = kNoEvents,
               int dquantCode = -1)
    {
        writer_.put(0, 1);
        putMcbpc(true, dquantCode >= 0 ? kMbInterQ : kMbInter, cbpc);
        putCode(kCbpyCodes[static_cast<size_t>(15 - cbpy)]);
        if (dquantCode >= 0)
            writer_.put(static_cast<uint32_t>(dquantCode), 2);
        putMvd(mvdX);
        putMvd(mvdY);
        const int cbp = cbpy * 4 + cbpc;
        for (int b = 0; b < 6; ++b)
            if (cbp & (32 >> b))
                putEvents(events[b]);
    }

    void putMcbpc(bool inPPicture, uint8_t type, int cbpc)
    {
        if (inPPicture) {
            for (const auto& c : kMcbpcInterCodes)
                if (c.mbType == type && c.cbpc == cbpc)
                    writer_.put(c.bits, c.length);
        } else {
            for (const auto& c : kMcbpcIntraCodes)
                if (c.mbType == type && c.cbpc == cbpc)
                    writer_.put(c.bits, c.length);
        }
    }

    void putMvd(int value)
    {
        const int magnitude = std::abs(value);
        putCode(kMvdCodes[static_cast<size_t>(magnitude)]);
        if (magnitude != 0)
            writer_.put(value < 0 ? 1 : 0, 1);
    }

    void putEvents(const BlockEvents& events)
    {
        for (const CoefficientEvent& e : events) {
            const TcoefCode* code = nullptr;
            for (const auto& c : kTcoefCodes)
                if (c.last == e.last && c.run == e.run && c.level == std::abs(e.level))
                    code = &c;
            if (code) {
                writer_.put(code->bits, code->length);
                writer_.put(e.level < 0 ? 1 : 0, 1);
            } else {
                putCode(kTcoefEscape);
                writer_.put(static_cast<uint32_t>(e.last), 1);
                writer_.put(static_cast<uint32_t>(e.run), 6);
                writer_.put(static_cast<uint32_t>(e.level) & 0xff, 8);
            }
        }
    }

    std::vector<uint8_t> finish()
    {
        const size_t length = writer_.finish();
        return std::vector<uint8_t>(buffer_.begin(), buffer_.begin() + static_cast<ptrdiff_t>(length));
    }

    static inline const BlockEvents kNoEvents[6] = {};

private:
    void putCode(VlcCode code) { writer_.put(code.bits, code.length); }

    std::vector<uint8_t> buffer_;
    BitWriter writer_;
};

} // namespace vantry::codec::test
