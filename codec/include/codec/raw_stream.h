#pragma once
// Raw streams of coded pictures stored one after another (as raw .h263 files are): each
// picture starts at a byte boundary with the 22-bit picture start code.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vantry::codec {

struct PictureSpan {
    size_t offset = 0;
    size_t length = 0;
};

// The pictures of a raw stream, in order. Bytes before the first start code are not part
// of any picture (leadingJunk, when given, receives their count).
std::vector<PictureSpan> splitRawStream(const uint8_t* data, size_t size, size_t* leadingJunk = nullptr);

} // namespace vantry::codec
