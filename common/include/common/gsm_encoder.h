// GSM 6.10 encoder for the audio beside recorded video: 8000 Hz mono 16-bit PCM in, WAV49
// blocks out (65 bytes for 320 samples, the AVI format tag 0x0031). Samples that do not fill a
// block wait for the next call; Flush pads the last block with silence.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vantry::common {

class GsmEncoder {
public:
    GsmEncoder();
    ~GsmEncoder();
    GsmEncoder(const GsmEncoder&) = delete;
    GsmEncoder& operator=(const GsmEncoder&) = delete;

    bool IsValid() const { return state_ != nullptr; }
    // Appends every completed block to out; returns the number of bytes appended.
    size_t Encode(const int16_t* samples, size_t count, std::vector<uint8_t>& out);
    // Completes a started block with silence; returns the number of bytes appended (0 or 65).
    size_t Flush(std::vector<uint8_t>& out);
    size_t PendingSamples() const { return pendingCount_; }

private:
    void EncodeBlock(std::vector<uint8_t>& out);

    void* state_ = nullptr;
    int16_t pending_[320] = {};
    size_t pendingCount_ = 0;
};

} // namespace vantry::common
