#include "codec/bit_writer.h"

namespace vantry::codec {

BitWriter::BitWriter(uint8_t* output, size_t capacityBytes)
    : output_(output), capacityBytes_(output ? capacityBytes : 0)
{
}

void BitWriter::storeByte(uint8_t byte)
{
    if (bytesWritten_ < capacityBytes_)
        output_[bytesWritten_++] = byte;
    else
        overflowed_ = true;
}

void BitWriter::drain()
{
    while (accumulatorBits_ >= 8) {
        accumulatorBits_ -= 8;
        storeByte(static_cast<uint8_t>(accumulator_ >> accumulatorBits_));
    }
    accumulator_ &= (uint64_t{1} << accumulatorBits_) - 1;
}

size_t BitWriter::finish()
{
    drain();
    if (accumulatorBits_ > 0) {
        storeByte(static_cast<uint8_t>(accumulator_ << (8 - accumulatorBits_)));
        accumulator_ = 0;
        accumulatorBits_ = 0;
        totalBits_ = (totalBits_ + 7) & ~size_t{7};
    }
    return bytesWritten_;
}

} // namespace vantry::codec
