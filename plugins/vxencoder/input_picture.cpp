#include "input_picture.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "codec/colour_converter.h"

namespace vantry::plugins::vxenc {
namespace {

constexpr uint8_t kBlackLuma = 16;
constexpr uint8_t kBlackChroma = 128;

int roundUp16(int value) { return (value + 15) / 16 * 16; }

bool isPacked(InputForm form) { return form != InputForm::I420 && form != InputForm::YV12; }

int bytesPerPixel(InputForm form) { return form == InputForm::YUY2 ? 2 : 3; }

// Copies rows of rowBytes from src into dst; a negative source step walks the source upward.
void copyRows(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dst, ptrdiff_t dstStride, int rows,
              size_t rowBytes) {
  for (int row = 0; row < rows; ++row) {
    std::memcpy(dst, src, rowBytes);
    src += srcStep;
    dst += dstStride;
  }
}

// R, G, B to the B, G, R order of the converter, one row of width pixels.
void swapRedBlueRow(const uint8_t* src, uint8_t* dst, int width) {
  for (int x = 0; x < width; ++x, src += 3, dst += 3) {
    dst[0] = src[2];
    dst[1] = src[1];
    dst[2] = src[0];
  }
}

}  // namespace

bool InputPicture::configure(InputForm form, int width, int height) {
  if (width <= 0 || height <= 0) return false;
  const int paddedWidth = roundUp16(width);
  const int paddedHeight = roundUp16(height);
  if (paddedWidth > codec::kMaxPictureWidth || paddedHeight > codec::kMaxPictureHeight) return false;

  form_ = form;
  width_ = width;
  height_ = height;
  paddedWidth_ = paddedWidth;
  paddedHeight_ = paddedHeight;
  // Centred; an odd offset would move chroma half a sample against luma (and split YUY2
  // pixel pairs), so the picture sits on the even position just above and left of centre.
  offsetX_ = ((paddedWidth - width) / 2) & ~1;
  offsetY_ = ((paddedHeight - height) / 2) & ~1;

  const size_t luma = size_t(paddedWidth) * size_t(paddedHeight);
  try {
    planar_.assign(luma * 3 / 2, kBlackChroma);
    std::fill_n(planar_.begin(), luma, kBlackLuma);
    packed_.clear();
    if (isPacked(form)) {
      packed_.resize(luma * size_t(bytesPerPixel(form)));
      if (form == InputForm::YUY2) {
        // Black is the 16-bit word 0x8010: Y 16, then chroma 128.
        for (size_t i = 0; i < packed_.size(); i += 2) {
          packed_[i] = kBlackLuma;
          packed_[i + 1] = kBlackChroma;
        }
      } else {
        std::fill(packed_.begin(), packed_.end(), uint8_t{0});
      }
    }
  } catch (const std::bad_alloc&) {
    planar_.clear();
    packed_.clear();
    return false;
  }
  planes_.y = planar_.data();
  planes_.u = planes_.y + luma;
  planes_.v = planes_.u + luma / 4;
  planes_.stride = paddedWidth;
  return true;
}

const codec::VxFramePlanes* InputPicture::prepare(const GstVideoFrame& frame) {
  if (planar_.empty() || GST_VIDEO_FRAME_WIDTH(&frame) != width_ ||
      GST_VIDEO_FRAME_HEIGHT(&frame) != height_)
    return nullptr;
  return isPacked(form_) ? preparePacked(frame) : preparePlanar(frame);
}

const codec::VxFramePlanes* InputPicture::preparePlanar(const GstVideoFrame& frame) {
  GstVideoFrame& f = const_cast<GstVideoFrame&>(frame);
  uint8_t* y = static_cast<uint8_t*>(GST_VIDEO_FRAME_COMP_DATA(&f, GST_VIDEO_COMP_Y));
  uint8_t* u = static_cast<uint8_t*>(GST_VIDEO_FRAME_COMP_DATA(&f, GST_VIDEO_COMP_U));
  uint8_t* v = static_cast<uint8_t*>(GST_VIDEO_FRAME_COMP_DATA(&f, GST_VIDEO_COMP_V));
  const int yStride = GST_VIDEO_FRAME_COMP_STRIDE(&f, GST_VIDEO_COMP_Y);
  const int uStride = GST_VIDEO_FRAME_COMP_STRIDE(&f, GST_VIDEO_COMP_U);
  const int vStride = GST_VIDEO_FRAME_COMP_STRIDE(&f, GST_VIDEO_COMP_V);

  // The encoder keeps its reference pictures at the input's stride; a stride that changed
  // between pictures would cost it the reference, so it always sees the padded width.
  if (!needsPadding() && yStride == paddedWidth_ && uStride == paddedWidth_ / 2 &&
      vStride == paddedWidth_ / 2) {
    inPlace_ = codec::VxFramePlanes{y, u, v, paddedWidth_};
    return &inPlace_;
  }

  const int chromaStride = paddedWidth_ / 2;
  copyRows(y, yStride, planes_.y + size_t(offsetY_) * size_t(paddedWidth_) + size_t(offsetX_),
           paddedWidth_, height_, size_t(width_));
  const int chromaWidth = std::min(GST_VIDEO_FRAME_COMP_WIDTH(&f, GST_VIDEO_COMP_U),
                                   chromaStride - offsetX_ / 2);
  const int chromaHeight = std::min(GST_VIDEO_FRAME_COMP_HEIGHT(&f, GST_VIDEO_COMP_U),
                                    paddedHeight_ / 2 - offsetY_ / 2);
  const size_t chromaOffset = size_t(offsetY_ / 2) * size_t(chromaStride) + size_t(offsetX_ / 2);
  copyRows(u, uStride, planes_.u + chromaOffset, chromaStride, chromaHeight, size_t(chromaWidth));
  copyRows(v, vStride, planes_.v + chromaOffset, chromaStride, chromaHeight, size_t(chromaWidth));
  return &planes_;
}

const codec::VxFramePlanes* InputPicture::preparePacked(const GstVideoFrame& frame) {
  GstVideoFrame& f = const_cast<GstVideoFrame&>(frame);
  const uint8_t* src = static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&f, 0));
  const int srcStride = GST_VIDEO_FRAME_PLANE_STRIDE(&f, 0);
  const int bpp = bytesPerPixel(form_);
  const bool bottomUp = form_ == InputForm::BGRBottomUp;
  // YUY2 rows hold whole pixel pairs.
  const size_t rowBytes = size_t(form_ == InputForm::YUY2 ? (width_ + 1) / 2 * 2 : width_) * size_t(bpp);

  const uint8_t* picture = src;
  ptrdiff_t picturePitch = srcStride;
  if (needsPadding() || form_ == InputForm::RGB) {
    // Pad (and turn R,G,B into B,G,R) into our own copy in the input's row order; a
    // bottom-up picture lands where it will be centred once its rows are turned.
    const size_t packedStride = size_t(paddedWidth_) * size_t(bpp);
    const int firstRow = bottomUp ? paddedHeight_ - height_ - offsetY_ : offsetY_;
    uint8_t* dst = packed_.data() + size_t(firstRow) * packedStride + size_t(offsetX_) * size_t(bpp);
    if (form_ == InputForm::RGB) {
      for (int row = 0; row < height_; ++row)
        swapRedBlueRow(src + ptrdiff_t(row) * srcStride, dst + size_t(row) * packedStride, width_);
    } else {
      copyRows(src, srcStride, dst, ptrdiff_t(packedStride), height_, rowBytes);
    }
    picture = packed_.data();
    picturePitch = ptrdiff_t(packedStride);
  }

  if (form_ == InputForm::YUY2) {
    codec::ColourConverter::yuy2ToI420(picture, picturePitch, paddedWidth_, paddedHeight_, planes_);
  } else {
    codec::ColourConverter::rgb24ToI420(picture, picturePitch, paddedWidth_, paddedHeight_,
                                        bottomUp ? codec::RowOrder::BottomUp : codec::RowOrder::TopDown,
                                        planes_, codec::displayMatrix());
  }
  return &planes_;
}

}  // namespace vantry::plugins::vxenc
