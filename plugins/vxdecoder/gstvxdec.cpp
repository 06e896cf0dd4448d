#include "gstvxdec.h"

#include <gst/video/video.h>

#include <cstring>
#include <new>

#include "codec/colour_converter.h"
#include "codec/cpu_features.h"
#include "codec/decoder.h"

GST_DEBUG_CATEGORY_STATIC(gst_vx_dec_debug);
#define GST_CAT_DEFAULT gst_vx_dec_debug

using vantry::codec::ColourConverter;
using vantry::codec::RowOrder;
using vantry::codec::VxDecoderHandle;
using vantry::codec::VxFramePlanes;

namespace {

// avidemux hands streams with an unknown four-character code over under this name; 'V' 'X'
// '0' '1' read as a little-endian 32-bit number.
#define VX01_FOURCC_INT "0x31305856"

GstStaticPadTemplate sink_template = GST_STATIC_PAD_TEMPLATE(
    "sink", GST_PAD_SINK, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("video/x-vx01; video/x-avi-unknown, fourcc = (int) " VX01_FOURCC_INT));

// In order of preference. RGB565 and RGB32 come only from the full-range conversions, which
// the decoder offers on processors with MMX.
GstStaticPadTemplate src_template = GST_STATIC_PAD_TEMPLATE(
    "src", GST_PAD_SRC, GST_PAD_ALWAYS,
    GST_STATIC_CAPS(GST_VIDEO_CAPS_MAKE("{ I420, BGR, RGB16, BGRx }")));

struct Stream {
  VxDecoderHandle handle{};
  bool decoder_open = false;
  // After a start or a seek the decoder holds no reference picture: P-pictures before the
  // next I-picture would show whatever the buffers held, so they are decoded but not shown.
  bool have_key = false;
  GstVideoCodecState* input_state = nullptr;
  ColourConverter converter;

  ~Stream() {
    if (decoder_open) vantry::codec::vx_decoder_close(&handle);
    if (input_state) gst_video_codec_state_unref(input_state);
  }
};

}  // namespace

struct _GstVxDec {
  GstVideoDecoder parent;
  Stream* stream;  // streaming thread only
};

G_DEFINE_TYPE(GstVxDec, gst_vx_dec, GST_TYPE_VIDEO_DECODER)
// Above primary, so that decodebin and playbin pick it for VX01 streams.
GST_ELEMENT_REGISTER_DEFINE(vxdec, "vxdec", GST_RANK_PRIMARY + 1, GST_TYPE_VX_DEC)

namespace {

bool fullRangeFormsAvailable() { return vantry::codec::cpuHasMmx(); }

void finalize(GObject* object) {
  GstVxDec* self = GST_VX_DEC(object);
  delete self->stream;
  self->stream = nullptr;
  G_OBJECT_CLASS(gst_vx_dec_parent_class)->finalize(object);
}

gboolean start(GstVideoDecoder* decoder) {
  GstVxDec* self = GST_VX_DEC(decoder);
  delete self->stream;
  self->stream = new (std::nothrow) Stream();
  if (!self->stream) return FALSE;
  if (vantry::codec::vx_decoder_open(&self->stream->handle) != 0) {
    GST_ELEMENT_ERROR(self, LIBRARY, INIT, (nullptr), ("cannot open the decoder"));
    delete self->stream;
    self->stream = nullptr;
    return FALSE;
  }
  self->stream->decoder_open = true;
  return TRUE;
}

gboolean stop(GstVideoDecoder* decoder) {
  GstVxDec* self = GST_VX_DEC(decoder);
  delete self->stream;
  self->stream = nullptr;
  return TRUE;
}

gboolean flush(GstVideoDecoder* decoder) {
  GstVxDec* self = GST_VX_DEC(decoder);
  if (self->stream) self->stream->have_key = false;
  return TRUE;
}

// The output formats this processor can produce, in order of preference.
GstCaps* offeredCaps() {
  GstCaps* caps = gst_caps_new_empty();
  const char* formats[] = {"I420", "BGR", "RGB16", "BGRx"};
  const int count = fullRangeFormsAvailable() ? 4 : 2;
  for (int i = 0; i < count; ++i)
    gst_caps_append_structure(caps, gst_structure_new("video/x-raw", "format", G_TYPE_STRING,
                                                      formats[i], nullptr));
  return caps;
}

// The first of our formats that downstream takes.
GstVideoFormat chooseFormat(GstVideoDecoder* decoder) {
  GstCaps* ours = offeredCaps();
  GstCaps* peer = gst_pad_peer_query_caps(GST_VIDEO_DECODER_SRC_PAD(decoder), nullptr);
  GstVideoFormat chosen = GST_VIDEO_FORMAT_UNKNOWN;
  for (guint i = 0; i < gst_caps_get_size(ours) && chosen == GST_VIDEO_FORMAT_UNKNOWN; ++i) {
    GstCaps* one = gst_caps_copy_nth(ours, i);
    if (!peer || gst_caps_can_intersect(one, peer)) {
      const gchar* name = gst_structure_get_string(gst_caps_get_structure(one, 0), "format");
      chosen = gst_video_format_from_string(name);
    }
    gst_caps_unref(one);
  }
  if (peer) gst_caps_unref(peer);
  gst_caps_unref(ours);
  return chosen;
}

// Sets the output to the decoded size. Called whenever the decoded picture's size differs
// from the negotiated one, so a picture is never written into a smaller buffer.
bool negotiateOutput(GstVxDec* self, gint width, gint height) {
  GstVideoDecoder* decoder = GST_VIDEO_DECODER(self);
  // Chosen afresh each time: downstream may have changed what it takes since the last time.
  const GstVideoFormat format = chooseFormat(decoder);
  if (format == GST_VIDEO_FORMAT_UNKNOWN) return false;

  GstVideoCodecState* output =
      gst_video_decoder_set_output_state(decoder, format, width, height, self->stream->input_state);
  if (!output) return false;
  gst_video_codec_state_unref(output);
  GST_INFO_OBJECT(self, "output %s %dx%d", gst_video_format_to_string(format), width, height);
  return gst_video_decoder_negotiate(decoder);
}

gboolean set_format(GstVideoDecoder* decoder, GstVideoCodecState* state) {
  GstVxDec* self = GST_VX_DEC(decoder);
  Stream* stream = self->stream;
  if (!stream) return FALSE;
  if (stream->input_state) gst_video_codec_state_unref(stream->input_state);
  stream->input_state = gst_video_codec_state_ref(state);

  // Announce the output early when the caps carry a usable size; the pictures themselves
  // have the last word.
  const gint width = GST_VIDEO_INFO_WIDTH(&state->info);
  const gint height = GST_VIDEO_INFO_HEIGHT(&state->info);
  if (width > 0 && height > 0 && width % 16 == 0 && height % 16 == 0 &&
      width <= vantry::codec::kMaxPictureWidth && height <= vantry::codec::kMaxPictureHeight)
    return negotiateOutput(self, width, height);
  return TRUE;
}

void copyPlane(const uint8_t* src, int srcStride, uint8_t* dst, int dstStride, int width, int rows) {
  if (srcStride == width && dstStride == width) {
    std::memcpy(dst, src, size_t(width) * size_t(rows));
    return;
  }
  for (int row = 0; row < rows; ++row)
    std::memcpy(dst + ptrdiff_t(row) * dstStride, src + ptrdiff_t(row) * srcStride, size_t(width));
}

void writePicture(Stream* stream, const VxFramePlanes& planes, int width, int height, GstVideoFrame* out) {
  uint8_t* dst = static_cast<uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(out, 0));
  const int pitch = GST_VIDEO_FRAME_PLANE_STRIDE(out, 0);
  switch (GST_VIDEO_FRAME_FORMAT(out)) {
    case GST_VIDEO_FORMAT_I420: {
      copyPlane(planes.y, planes.stride, dst, pitch, width, height);
      copyPlane(planes.u, planes.stride / 2, static_cast<uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(out, 1)),
                GST_VIDEO_FRAME_PLANE_STRIDE(out, 1), width / 2, height / 2);
      copyPlane(planes.v, planes.stride / 2, static_cast<uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(out, 2)),
                GST_VIDEO_FRAME_PLANE_STRIDE(out, 2), width / 2, height / 2);
      break;
    }
    case GST_VIDEO_FORMAT_BGR:
      stream->converter.i420ToRgb24(planes, width, height, dst, pitch, RowOrder::TopDown,
                                    vantry::codec::displayMatrix());
      break;
    case GST_VIDEO_FORMAT_RGB16:
      ColourConverter::i420ToRgb565(planes, width, height, dst, pitch, RowOrder::TopDown);
      break;
    case GST_VIDEO_FORMAT_BGRx:
      ColourConverter::i420ToRgb32(planes, width, height, dst, pitch, RowOrder::TopDown);
      break;
    default:
      break;
  }
}

GstFlowReturn handle_frame(GstVideoDecoder* decoder, GstVideoCodecFrame* frame) {
  GstVxDec* self = GST_VX_DEC(decoder);
  Stream* stream = self->stream;
  if (!stream || !stream->decoder_open) {
    gst_video_codec_frame_unref(frame);
    return GST_FLOW_FLUSHING;
  }

  GstMapInfo in_map;
  if (!gst_buffer_map(frame->input_buffer, &in_map, GST_MAP_READ)) {
    GST_WARNING_OBJECT(self, "cannot map the coded picture; dropped");
    return gst_video_decoder_drop_frame(decoder, frame);
  }
  VxFramePlanes* planes = nullptr;
  const gint32 length = in_map.size > gsize(G_MAXINT32) ? G_MAXINT32 : gint32(in_map.size);
  const int used = vantry::codec::vx_decode(&stream->handle, &planes, in_map.data, length);
  gst_buffer_unmap(frame->input_buffer, &in_map);

  if (used < 0 || !planes) {
    // One damaged record chunk must not end the playback of the rest of the record.
    GST_ELEMENT_WARNING(self, STREAM, DECODE, ("Damaged picture dropped."),
                        ("picture of %" G_GSIZE_FORMAT " bytes at %" GST_TIME_FORMAT
                         " could not be decoded",
                         gst_buffer_get_size(frame->input_buffer), GST_TIME_ARGS(frame->pts)));
    return gst_video_decoder_drop_frame(decoder, frame);
  }
  const int damaged = vantry::codec::vx_decoder_damaged_macroblocks(&stream->handle);
  if (damaged > 0)
    GST_DEBUG_OBJECT(self, "%d damaged macroblocks repeated from the previous picture", damaged);

  const bool key = stream->handle.keyFlag != 0;
  if (key) stream->have_key = true;
  if (!stream->have_key) {
    GST_DEBUG_OBJECT(self, "P-picture before the first I-picture; not shown");
    return gst_video_decoder_drop_frame(decoder, frame);
  }

  const gint width = stream->handle.width;
  const gint height = stream->handle.height;
  GstVideoCodecState* output = gst_video_decoder_get_output_state(decoder);
  const bool size_matches = output && GST_VIDEO_INFO_WIDTH(&output->info) == width &&
                            GST_VIDEO_INFO_HEIGHT(&output->info) == height;
  if (output) gst_video_codec_state_unref(output);
  if ((!size_matches || gst_pad_check_reconfigure(GST_VIDEO_DECODER_SRC_PAD(decoder))) &&
      !negotiateOutput(self, width, height)) {
    GST_ELEMENT_ERROR(self, CORE, NEGOTIATION, (nullptr),
                      ("no output format for %dx%d pictures", width, height));
    gst_video_decoder_drop_frame(decoder, frame);
    return GST_FLOW_NOT_NEGOTIATED;
  }

  GstFlowReturn flow = gst_video_decoder_allocate_output_frame(decoder, frame);
  if (flow != GST_FLOW_OK) {
    gst_video_decoder_drop_frame(decoder, frame);
    return flow;
  }
  output = gst_video_decoder_get_output_state(decoder);
  GstVideoFrame out_frame;
  const bool mapped = output && gst_video_frame_map(&out_frame, &output->info,
                                                    frame->output_buffer, GST_MAP_WRITE);
  if (output) gst_video_codec_state_unref(output);
  if (!mapped) {
    GST_WARNING_OBJECT(self, "cannot map the output picture; dropped");
    return gst_video_decoder_drop_frame(decoder, frame);
  }
  if (GST_VIDEO_FRAME_WIDTH(&out_frame) < width || GST_VIDEO_FRAME_HEIGHT(&out_frame) < height) {
    gst_video_frame_unmap(&out_frame);
    return gst_video_decoder_drop_frame(decoder, frame);
  }
  writePicture(stream, *planes, width, height, &out_frame);
  gst_video_frame_unmap(&out_frame);

  if (key)
    GST_VIDEO_CODEC_FRAME_SET_SYNC_POINT(frame);
  else
    GST_VIDEO_CODEC_FRAME_UNSET_SYNC_POINT(frame);
  return gst_video_decoder_finish_frame(decoder, frame);
}

gboolean decide_allocation(GstVideoDecoder* decoder, GstQuery* query) {
  if (!GST_VIDEO_DECODER_CLASS(gst_vx_dec_parent_class)->decide_allocation(decoder, query))
    return FALSE;
  // Pictures are written row by row through the frame's strides, so any pool layout works.
  GstBufferPool* pool = nullptr;
  if (gst_query_get_n_allocation_pools(query) > 0)
    gst_query_parse_nth_allocation_pool(query, 0, &pool, nullptr, nullptr, nullptr);
  if (pool) {
    GstStructure* config = gst_buffer_pool_get_config(pool);
    if (gst_query_find_allocation_meta(query, GST_VIDEO_META_API_TYPE, nullptr))
      gst_buffer_pool_config_add_option(config, GST_BUFFER_POOL_OPTION_VIDEO_META);
    gst_buffer_pool_set_config(pool, config);
    gst_object_unref(pool);
  }
  return TRUE;
}

}  // namespace

static void gst_vx_dec_class_init(GstVxDecClass* klass) {
  GObjectClass* gobject_class = G_OBJECT_CLASS(klass);
  GstElementClass* element_class = GST_ELEMENT_CLASS(klass);
  GstVideoDecoderClass* decoder_class = GST_VIDEO_DECODER_CLASS(klass);

  gobject_class->finalize = finalize;

  gst_element_class_add_static_pad_template(element_class, &sink_template);
  gst_element_class_add_static_pad_template(element_class, &src_template);
  gst_element_class_set_static_metadata(element_class, "VX Video Decoder",
                                        "Codec/Decoder/Video",
                                        "Decodes VX01 video", "Vantry");

  decoder_class->start = start;
  decoder_class->stop = stop;
  decoder_class->flush = flush;
  decoder_class->set_format = set_format;
  decoder_class->handle_frame = handle_frame;
  decoder_class->decide_allocation = decide_allocation;

  GST_DEBUG_CATEGORY_INIT(gst_vx_dec_debug, "vxdec", 0, "VX01 video decoder");
}

static void gst_vx_dec_init(GstVxDec* self) {
  self->stream = nullptr;
  // One coded picture per buffer, as in the records and the stream.
  gst_video_decoder_set_packetized(GST_VIDEO_DECODER(self), TRUE);
  // Damaged pictures are dropped with a warning; they never stop playback.
  gst_video_decoder_set_max_errors(GST_VIDEO_DECODER(self), -1);
}
