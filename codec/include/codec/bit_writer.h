#pragma once
// MSB-first bit writer. It never writes beyond its capacity: bits that do not fit are
// dropped and overflowed() reports it, so a caller can mark or redo the picture.
#include <cstddef>
#include <cstdint>

namespace vantry::codec {

class BitWriter {
public:
    BitWriter(uint8_t* output, size_t capacityBytes);

    // Appends the low bitCount bits (0..32) of value, most significant first.
    void put(uint32_t value, int bitCount)
    {
        if (bitCount <= 0)
            return;
        const uint64_t masked = bitCount == 32 ? value : (value & ((uint32_t{1} << bitCount) - 1));
        accumulator_ = (accumulator_ << bitCount) | masked;
        accumulatorBits_ += bitCount;
        totalBits_ += static_cast<size_t>(bitCount);
        if (accumulatorBits_ >= 32)
            drain();
    }
    void putBit(bool bit) { put(bit ? 1u : 0u, 1); }

    // Writes the pending bits, the last byte padded with zero bits, and returns the
    // length of the output in bytes (the bytes holding every bit put so far).
    size_t finish();

    size_t bitCount() const { return totalBits_; }
    bool overflowed() const { return overflowed_; }

private:
    void drain();
    void storeByte(uint8_t byte);

    uint8_t* output_ = nullptr;
    size_t capacityBytes_ = 0;
    size_t bytesWritten_ = 0;
    uint64_t accumulator_ = 0;
    int accumulatorBits_ = 0;
    size_t totalBits_ = 0;
    bool overflowed_ = false;
};

} // namespace vantry::codec
