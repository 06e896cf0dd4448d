#pragma once
// The picture record that the codec, the filters, the server and the viewer pass around.
#include <cstdint>

namespace vantry::codec {

// A 4:2:0 picture in three planes. Chroma planes have half the width and height of luma
// and a stride of half the luma stride.
struct VxFramePlanes {
    uint8_t* y = nullptr;
    uint8_t* u = nullptr; // Cb
    uint8_t* v = nullptr; // Cr
    int32_t stride = 0;   // luma stride in bytes
};

enum class PictureType : int32_t { Intra = 1, Inter = 2 };

// Geometry limits of the format: multiples of 16, at most what the 9-bit custom size
// fields can carry.
inline constexpr int kMaxPictureWidth = 2048;
inline constexpr int kMaxPictureHeight = 2032;

} // namespace vantry::codec
