#include "codec/raw_stream.h"

namespace vantry::codec {
namespace {

// 0000 0000 0000 0000 1000 00: two zero bytes and a third byte whose top six bits are 100000.
bool startCodeAt(const uint8_t* data, size_t size, size_t at)
{
    return at + 3 <= size && data[at] == 0 && data[at + 1] == 0 && (data[at + 2] & 0xfc) == 0x80;
}

} // namespace

std::vector<PictureSpan> splitRawStream(const uint8_t* data, size_t size, size_t* leadingJunk)
{
    std::vector<PictureSpan> pictures;
    if (leadingJunk)
        *leadingJunk = 0;
    if (!data)
        return pictures;
    size_t start = size;
    for (size_t at = 0; at + 3 <= size; ++at) {
        if (!startCodeAt(data, size, at))
            continue;
        if (start != size)
            pictures.push_back({start, at - start});
        else if (leadingJunk)
            *leadingJunk = at;
        start = at;
        at += 2;
    }
    if (start != size)
        pictures.push_back({start, size - start});
    else if (leadingJunk)
        *leadingJunk = size;
    return pictures;
}

} // namespace vantry::codec
