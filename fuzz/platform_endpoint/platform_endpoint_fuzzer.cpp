// Feeds the input to the frame decoder whole and to the assembler in pieces whose sizes come
// from the input itself; both must agree and never read past what they were given.
#include "platform/endpoint_frame.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

using namespace vantry::platform::wire;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Whole-buffer decoding, frame after frame.
    std::vector<Frame> whole;
    std::size_t offset = 0;
    bool wholeInvalid = false;
    while (offset < size) {
        Frame frame;
        std::size_t consumed = 0;
        const DecodeStatus status = decodeFrame(data + offset, size - offset, frame, consumed);
        if (status == DecodeStatus::Invalid) {
            wholeInvalid = true;
            break;
        }
        if (status == DecodeStatus::NeedMore)
            break;
        if (consumed < kHeaderBytes || consumed > size - offset || frame.data.size() > kMaxCopyDataBytes)
            std::abort();
        // What decodes must encode back to the same bytes.
        const std::vector<std::uint8_t> again = encodeFrame(frame);
        if (again.size() != consumed || !std::equal(again.begin(), again.end(), data + offset))
            std::abort();
        whole.push_back(std::move(frame));
        offset += consumed;
    }

    // The same stream in pieces of 1..64 bytes.
    FrameAssembler assembler;
    std::size_t produced = 0;
    bool pieceInvalid = false;
    std::size_t position = 0;
    while (position < size && !pieceInvalid) {
        const std::size_t piece = std::min<std::size_t>(size - position, (data[position] & 63u) + 1u);
        assembler.append(data + position, piece);
        position += piece;
        Frame frame;
        for (;;) {
            const DecodeStatus status = assembler.next(frame);
            if (status == DecodeStatus::Invalid) {
                pieceInvalid = true;
                break;
            }
            if (status == DecodeStatus::NeedMore)
                break;
            if (produced >= whole.size() || frame.sequence != whole[produced].sequence
                || frame.data != whole[produced].data)
                std::abort();
            ++produced;
        }
    }
    if (produced != whole.size() || pieceInvalid != wholeInvalid)
        std::abort();
    return 0;
}
