#pragma once
// MSB-first bit reader over one coded picture. It never touches memory outside
// [data, data + size): reads beyond the end see zero bits, and exhausted() tells the
// caller that the picture ended early.
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vantry::codec {

class BitReader {
public:
    BitReader(const uint8_t* data, size_t sizeBytes) : data_(data), sizeBytes_(data ? sizeBytes : 0) {}

    // The next bitCount bits (1..32) without consuming them.
    uint32_t show(int bitCount) const
    {
        return static_cast<uint32_t>(window() >> (64 - bitCount));
    }
    void skip(int bitCount) { positionBits_ += static_cast<size_t>(bitCount); }
    uint32_t read(int bitCount)
    {
        const uint32_t value = show(bitCount);
        skip(bitCount);
        return value;
    }
    uint32_t readBit() { return read(1); }

    size_t positionBits() const { return positionBits_; }
    size_t sizeBytes() const { return sizeBytes_; }
    // True once a read went past the last bit of the data.
    bool exhausted() const { return positionBits_ > sizeBytes_ * 8; }
    // Bytes that hold the bits consumed so far, never more than the data holds.
    size_t bytesUsed() const
    {
        const size_t bytes = (positionBits_ + 7) / 8;
        return bytes < sizeBytes_ ? bytes : sizeBytes_;
    }

private:
    // 57 or more valid bits starting at the current position, left-aligned.
    uint64_t window() const
    {
        const size_t byteIndex = positionBits_ >> 3;
        uint64_t word = 0;
        if (byteIndex + 8 <= sizeBytes_) {
            std::memcpy(&word, data_ + byteIndex, 8);
            word = __builtin_bswap64(word);
        } else {
            for (size_t i = 0; i < 8; ++i) {
                word <<= 8;
                if (byteIndex + i < sizeBytes_)
                    word |= data_[byteIndex + i];
            }
        }
        return word << (positionBits_ & 7);
    }

    const uint8_t* data_ = nullptr;
    size_t sizeBytes_ = 0;
    size_t positionBits_ = 0;
};

} // namespace vantry::codec
