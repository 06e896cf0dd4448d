// Raw and coded test pictures for the codec elements' tests.
#pragma once

#include <gst/video/video.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "codec/decoder.h"
#include "codec/vx_encoder.h"
#include "gst_test_support.h"

namespace vantry::plugins::test {

// A raw picture for caps, every component of each pixel set from valueAt(row, component) with
// row in memory order. Components are R, G, B for RGB formats and Y, U, V for YUV formats.
template <typename ValueAt>
GstBuffer* makeRawPicture(const GstVideoInfo& info, ValueAt valueAt) {
  GstBuffer* buffer = gst_buffer_new_allocate(nullptr, GST_VIDEO_INFO_SIZE(&info), nullptr);
  GstVideoFrame frame;
  GstVideoInfo copy = info;
  if (!gst_video_frame_map(&frame, &copy, buffer, GST_MAP_WRITE)) return buffer;
  for (guint c = 0; c < GST_VIDEO_FRAME_N_COMPONENTS(&frame); ++c) {
    auto* data = static_cast<uint8_t*>(GST_VIDEO_FRAME_COMP_DATA(&frame, c));
    const int stride = GST_VIDEO_FRAME_COMP_STRIDE(&frame, c);
    const int step = GST_VIDEO_FRAME_COMP_PSTRIDE(&frame, c);
    const int rows = GST_VIDEO_FRAME_COMP_HEIGHT(&frame, c);
    const int columns = GST_VIDEO_FRAME_COMP_WIDTH(&frame, c);
    for (int row = 0; row < rows; ++row) {
      // Chroma rows cover two luma rows; report the luma row they start at.
      const int lumaRow = row * GST_VIDEO_INFO_HEIGHT(&info) / rows;
      for (int x = 0; x < columns; ++x) data[row * stride + x * step] = valueAt(lumaRow, int(c));
    }
  }
  gst_video_frame_unmap(&frame);
  return buffer;
}

// Decodes coded pictures in order with the codec itself.
class ReferenceDecoder {
 public:
  ReferenceDecoder() { codec::vx_decoder_open(&handle_); }
  ~ReferenceDecoder() { codec::vx_decoder_close(&handle_); }
  ReferenceDecoder(const ReferenceDecoder&) = delete;
  ReferenceDecoder& operator=(const ReferenceDecoder&) = delete;

  // Decodes one buffer; the planes stay valid until the next call. Null on failure.
  const codec::VxFramePlanes* decode(GstBuffer* buffer) {
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) return nullptr;
    codec::VxFramePlanes* planes = nullptr;
    const int used = codec::vx_decode(&handle_, &planes, map.data, int32_t(map.size));
    gst_buffer_unmap(buffer, &map);
    return used < 0 ? nullptr : planes;
  }
  int width() const { return handle_.width; }
  int height() const { return handle_.height; }
  bool key() const { return handle_.keyFlag != 0; }

 private:
  codec::VxDecoderHandle handle_{};
};

// Coded pictures made with the codec itself: count pictures of a flat picture (luma y,
// chroma 128) with a bright square moving across, so that P-pictures carry something.
inline std::vector<std::vector<uint8_t>> encodePictures(int width, int height, int count, int interval,
                                                        uint8_t y = 128) {
  std::vector<std::vector<uint8_t>> pictures;
  codec::VxEncoderParams params{};
  params.width = width;
  params.height = height;
  params.quantiser = 4;
  params.keyFrameInterval = interval;
  if (codec::vx_encoder_open(&params) != 0) return pictures;
  std::vector<uint8_t> planar(size_t(width) * size_t(height) * 3 / 2);
  codec::VxFramePlanes planes{planar.data(), planar.data() + width * height,
                              planar.data() + width * height * 5 / 4, width};
  for (int i = 0; i < count; ++i) {
    std::fill(planar.begin(), planar.begin() + width * height, y);
    std::fill(planar.begin() + width * height, planar.end(), uint8_t{128});
    for (int row = 0; row < 16; ++row)
      for (int x = 0; x < 16; ++x) planar[size_t(row) * width + size_t((x + 4 * i) % width)] = 235;
    std::vector<uint8_t> out(planar.size());
    const int written = codec::vx_encode(&params, &planes, out.data(), out.size());
    out.resize(written > 0 ? size_t(written) : 0);
    pictures.push_back(std::move(out));
  }
  codec::vx_encoder_close(&params);
  return pictures;
}

inline GstBuffer* bufferFrom(const std::vector<uint8_t>& bytes, GstClockTime pts) {
  GstBuffer* buffer = bytes.empty() ? gst_buffer_new() : gst_buffer_new_memdup(bytes.data(), bytes.size());
  GST_BUFFER_PTS(buffer) = pts;
  GST_BUFFER_DURATION(buffer) = GST_SECOND / 30;
  return buffer;
}

}  // namespace vantry::plugins::test
