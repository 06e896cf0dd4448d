// Turns one raw input picture into the padded 4:2:0 planes that the encoder takes.
#pragma once

#include <gst/video/video.h>

#include <cstdint>
#include <vector>

#include "codec/frame_planes.h"

namespace vantry::plugins::vxenc {

enum class InputForm {
  I420,         // planar, U before V
  YV12,         // planar, V before U
  YUY2,         // packed 4:2:2, top-down
  RGB,          // 24-bit R, G, B, top-down
  BGR,          // 24-bit B, G, R, top-down
  BGRBottomUp,  // 24-bit B, G, R, last row first (a DIB)
};

class InputPicture {
 public:
  // Chooses the padded size (the next multiples of 16) and prepares the buffers, black in
  // the input's own format. False when the padded size exceeds what a picture can carry.
  bool configure(InputForm form, int width, int height);

  int paddedWidth() const { return paddedWidth_; }
  int paddedHeight() const { return paddedHeight_; }
  bool needsPadding() const { return paddedWidth_ != width_ || paddedHeight_ != height_; }
  // Where the picture sits inside the padded one. Kept even so that chroma stays registered.
  int offsetX() const { return offsetX_; }
  int offsetY() const { return offsetY_; }

  // The planes to encode (luma stride = padded width), valid until the next call; planar
  // input whose layout already fits is used in place. Null when the frame does not match
  // the configured format.
  const codec::VxFramePlanes* prepare(const GstVideoFrame& frame);

 private:
  const codec::VxFramePlanes* preparePlanar(const GstVideoFrame& frame);
  const codec::VxFramePlanes* preparePacked(const GstVideoFrame& frame);

  InputForm form_ = InputForm::I420;
  int width_ = 0;
  int height_ = 0;
  int paddedWidth_ = 0;
  int paddedHeight_ = 0;
  int offsetX_ = 0;
  int offsetY_ = 0;
  std::vector<uint8_t> planar_;   // padded 4:2:0: Y, then U, then V
  std::vector<uint8_t> packed_;   // padded copy of packed input, top-down B,G,R or YUY2
  codec::VxFramePlanes planes_{};   // describes planar_
  codec::VxFramePlanes inPlace_{};  // describes the input itself
};

}  // namespace vantry::plugins::vxenc
