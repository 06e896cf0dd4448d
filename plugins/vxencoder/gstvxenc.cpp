#include "gstvxenc.h"

#include <gst/video/video.h>

#include <algorithm>
#include <new>

#include "codec/vx_encoder.h"
#include "input_picture.h"

GST_DEBUG_CATEGORY_STATIC(gst_vx_enc_debug);
#define GST_CAT_DEFAULT gst_vx_enc_debug

using vantry::codec::VxEncoderParams;
using vantry::codec::VxFramePlanes;
using vantry::plugins::vxenc::InputForm;
using vantry::plugins::vxenc::InputPicture;

namespace {

enum {
  PROP_0,
  PROP_QUALITY,
  PROP_KEY_FRAME_INTERVAL,
  PROP_MOTION_SEARCH,
  PROP_KEY_FRAME_REQUEST,
  PROP_ENCODED_COUNT,
};

// The quantiser runs from 2 (quality 1.0) to 13 (quality 0.0).
constexpr gint kFinestQuantiser = 2;
constexpr gint kCoarsestQuantiser = 13;
constexpr gint DEFAULT_QUANTISER = 7;
constexpr gdouble DEFAULT_QUALITY = (kCoarsestQuantiser - DEFAULT_QUANTISER) / 11.0;
constexpr gint DEFAULT_KEY_FRAME_INTERVAL = 30;
constexpr GstVxEncMotionSearch DEFAULT_MOTION_SEARCH = GST_VX_ENC_MOTION_SEARCH_ZERO;
constexpr gboolean DEFAULT_KEY_FRAME_REQUEST = FALSE;

// Time per frame, in 100-ns units, when the caps carry no usable frame rate.
constexpr gint64 kDefaultTimePerFrame100ns = 333333;

// The coded picture never needs more room than the raw 4:2:0 picture.
gsize rawPictureBytes(gint width, gint height) { return gsize(width) * gsize(height) * 3 / 2; }

gint quantiserForQuality(gdouble quality) {
  // Truncation, not rounding: quality 0.5 gives 13 - 5.5 = 7.5, so 7.
  return std::clamp(static_cast<gint>(kCoarsestQuantiser - 11.0 * quality), kFinestQuantiser,
                    kCoarsestQuantiser);
}

gdouble qualityForQuantiser(gint quantiser) { return (kCoarsestQuantiser - quantiser) * (1.0 / 11.0); }

#define VXENC_FORMATS "{ I420, YV12, YUY2, RGB, BGR }"
#define VXENC_SIZES "width = (int) [ 1, 2048 ], height = (int) [ 1, 2032 ]"

// Padded sizes above 2048 x 2032 cannot be described by the picture header; the ranges keep
// such inputs from connecting at all. 24-bit RGB whose rows run bottom-up (a Windows DIB, as
// some capture drivers hand it over) is BGR with the caps feature "vantry:BottomUp"; the
// feature keeps it from ever matching ordinary top-down raw video.
GstStaticPadTemplate sink_template = GST_STATIC_PAD_TEMPLATE(
    "sink", GST_PAD_SINK, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("video/x-raw, format = (string) " VXENC_FORMATS ", " VXENC_SIZES
                    ", framerate = (fraction) [ 0/1, MAX ]; "
                    "video/x-raw(" GST_VX_ENC_CAPS_FEATURE_BOTTOM_UP "), format = (string) BGR, "
                    VXENC_SIZES ", framerate = (fraction) [ 0/1, MAX ]"));

GstStaticPadTemplate src_template = GST_STATIC_PAD_TEMPLATE(
    "src", GST_PAD_SRC, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("video/x-vx01, width = (int) [ 16, 2048 ], height = (int) [ 16, 2032 ], "
                    "framerate = (fraction) [ 0/1, MAX ]"));

// What the streaming thread keeps between pictures; created at start, dropped at stop.
struct Stream {
  GstVideoCodecState* input_state = nullptr;
  InputPicture input;
  VxEncoderParams params{};
  bool encoder_open = false;
  bool opened_all_intra = false;  // opened with an interval of 0 or 1
  GstClockTime last_stop = GST_CLOCK_TIME_NONE;

  ~Stream() {
    if (encoder_open) vantry::codec::vx_encoder_close(&params);
    if (input_state) gst_video_codec_state_unref(input_state);
  }
};

}  // namespace

struct _GstVxEnc {
  GstVideoEncoder parent;

  // Settings come from application threads and reach the encoder between pictures.
  GMutex settings_lock;
  gint quantiser;
  gint key_frame_interval;
  gboolean interval_set_by_user;
  GstVxEncMotionSearch motion_search;
  gboolean key_frame_request;
  guint encoded_count;

  Stream* stream;  // streaming thread only
};

G_DEFINE_TYPE(GstVxEnc, gst_vx_enc, GST_TYPE_VIDEO_ENCODER)
GST_ELEMENT_REGISTER_DEFINE(vxenc, "vxenc", GST_RANK_NONE, GST_TYPE_VX_ENC)

GType gst_vx_enc_motion_search_get_type(void) {
  static GType type = 0;
  static const GEnumValue values[] = {
      {GST_VX_ENC_MOTION_SEARCH_ZERO, "Zero vector only", "zero"},
      {GST_VX_ENC_MOTION_SEARCH_DIAMOND, "Diamond search", "diamond"},
      {GST_VX_ENC_MOTION_SEARCH_FULL, "Full search", "full"},
      {0, nullptr, nullptr},
  };
  if (g_once_init_enter(&type)) {
    GType registered = g_enum_register_static("GstVxEncMotionSearch", values);
    g_once_init_leave(&type, registered);
  }
  return type;
}

namespace {

class SettingsLock {
 public:
  explicit SettingsLock(GstVxEnc* self) : mutex_(&self->settings_lock) { g_mutex_lock(mutex_); }
  ~SettingsLock() { g_mutex_unlock(mutex_); }
  SettingsLock(const SettingsLock&) = delete;
  SettingsLock& operator=(const SettingsLock&) = delete;

 private:
  GMutex* mutex_;
};

void set_property(GObject* object, guint prop_id, const GValue* value, GParamSpec* pspec) {
  GstVxEnc* self = GST_VX_ENC(object);
  SettingsLock lock(self);
  switch (prop_id) {
    case PROP_QUALITY:
      self->quantiser = quantiserForQuality(g_value_get_double(value));
      break;
    case PROP_KEY_FRAME_INTERVAL:
      self->key_frame_interval = g_value_get_int(value);
      self->interval_set_by_user = TRUE;
      break;
    case PROP_MOTION_SEARCH:
      self->motion_search = static_cast<GstVxEncMotionSearch>(g_value_get_enum(value));
      break;
    case PROP_KEY_FRAME_REQUEST:
      self->key_frame_request = g_value_get_boolean(value);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID(object, prop_id, pspec);
      break;
  }
}

void get_property(GObject* object, guint prop_id, GValue* value, GParamSpec* pspec) {
  GstVxEnc* self = GST_VX_ENC(object);
  SettingsLock lock(self);
  switch (prop_id) {
    case PROP_QUALITY:
      g_value_set_double(value, qualityForQuantiser(self->quantiser));
      break;
    case PROP_KEY_FRAME_INTERVAL:
      g_value_set_int(value, self->key_frame_interval);
      break;
    case PROP_MOTION_SEARCH:
      g_value_set_enum(value, self->motion_search);
      break;
    case PROP_KEY_FRAME_REQUEST:
      g_value_set_boolean(value, self->key_frame_request);
      break;
    case PROP_ENCODED_COUNT:
      g_value_set_uint(value, self->encoded_count);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID(object, prop_id, pspec);
      break;
  }
}

void finalize(GObject* object) {
  GstVxEnc* self = GST_VX_ENC(object);
  delete self->stream;
  self->stream = nullptr;
  g_mutex_clear(&self->settings_lock);
  G_OBJECT_CLASS(gst_vx_enc_parent_class)->finalize(object);
}

gboolean start(GstVideoEncoder* encoder) {
  GstVxEnc* self = GST_VX_ENC(encoder);
  delete self->stream;
  self->stream = new (std::nothrow) Stream();
  if (!self->stream) return FALSE;
  SettingsLock lock(self);
  self->encoded_count = 0;
  return TRUE;
}

gboolean stop(GstVideoEncoder* encoder) {
  GstVxEnc* self = GST_VX_ENC(encoder);
  delete self->stream;
  self->stream = nullptr;
  return TRUE;
}

// Key-frame interval from the frame rate: one I-picture a second, computed as the
// 100-ns time per frame divides into a second (25 frames/s: 400000, so 25).
gint intervalForFrameRate(gint fps_n, gint fps_d) {
  gint64 time_per_frame = kDefaultTimePerFrame100ns;
  if (fps_n > 0 && fps_d > 0)
    time_per_frame = gint64(gst_util_uint64_scale_int(10000000, fps_d, fps_n));
  if (time_per_frame <= 0) return DEFAULT_KEY_FRAME_INTERVAL;
  return gint(std::min<gint64>(10000000 / time_per_frame, G_MAXINT));
}

bool formFromState(GstVideoCodecState* state, InputForm* form) {
  GstCapsFeatures* features = gst_caps_get_features(state->caps, 0);
  const bool bottom_up =
      features && gst_caps_features_contains(features, GST_VX_ENC_CAPS_FEATURE_BOTTOM_UP);
  switch (GST_VIDEO_INFO_FORMAT(&state->info)) {
    case GST_VIDEO_FORMAT_I420:
      *form = InputForm::I420;
      return !bottom_up;
    case GST_VIDEO_FORMAT_YV12:
      *form = InputForm::YV12;
      return !bottom_up;
    case GST_VIDEO_FORMAT_YUY2:
      *form = InputForm::YUY2;
      return !bottom_up;
    case GST_VIDEO_FORMAT_RGB:
      *form = InputForm::RGB;
      return !bottom_up;
    case GST_VIDEO_FORMAT_BGR:
      *form = bottom_up ? InputForm::BGRBottomUp : InputForm::BGR;
      return true;
    default:
      return false;
  }
}

gboolean set_format(GstVideoEncoder* encoder, GstVideoCodecState* state) {
  GstVxEnc* self = GST_VX_ENC(encoder);
  Stream* stream = self->stream;
  if (!stream) return FALSE;

  InputForm form;
  if (!formFromState(state, &form)) {
    GST_WARNING_OBJECT(self, "unsupported input caps %" GST_PTR_FORMAT,
                       static_cast<void*>(state->caps));
    return FALSE;
  }
  const gint width = GST_VIDEO_INFO_WIDTH(&state->info);
  const gint height = GST_VIDEO_INFO_HEIGHT(&state->info);
  if (!stream->input.configure(form, width, height)) {
    GST_ELEMENT_ERROR(self, STREAM, FORMAT, (nullptr),
                      ("cannot encode a %dx%d picture", width, height));
    return FALSE;
  }

  if (stream->input_state) gst_video_codec_state_unref(stream->input_state);
  stream->input_state = gst_video_codec_state_ref(state);

  // A new input format starts a new coded stream: reopen, so it begins with an I-picture.
  if (stream->encoder_open) {
    vantry::codec::vx_encoder_close(&stream->params);
    stream->encoder_open = false;
  }
  stream->params = VxEncoderParams{};
  stream->params.width = stream->input.paddedWidth();
  stream->params.height = stream->input.paddedHeight();
  {
    SettingsLock lock(self);
    // A frame rate gives one I-picture a second, unless the application chose an interval.
    if (!self->interval_set_by_user)
      self->key_frame_interval = intervalForFrameRate(GST_VIDEO_INFO_FPS_N(&state->info),
                                                      GST_VIDEO_INFO_FPS_D(&state->info));
    stream->params.quantiser = self->quantiser;
    stream->params.keyFrameInterval = self->key_frame_interval;
    stream->params.searchMode = self->motion_search;
  }
  if (vantry::codec::vx_encoder_open(&stream->params) != 0) {
    GST_ELEMENT_ERROR(self, LIBRARY, INIT, (nullptr),
                      ("cannot open the encoder for %dx%d", stream->params.width,
                       stream->params.height));
    return FALSE;
  }
  stream->encoder_open = true;
  stream->opened_all_intra = stream->params.keyFrameInterval <= 1;

  GstCaps* caps = gst_caps_new_empty_simple("video/x-vx01");
  GstVideoCodecState* output = gst_video_encoder_set_output_state(encoder, caps, state);
  // The base class copies the input size into the output caps; the coded picture is padded.
  output->info.width = stream->input.paddedWidth();
  output->info.height = stream->input.paddedHeight();
  gst_video_codec_state_unref(output);

  GST_INFO_OBJECT(self, "%dx%d in, %dx%d coded, key-frame interval %d", width, height,
                  stream->params.width, stream->params.height, stream->params.keyFrameInterval);
  return gst_video_encoder_negotiate(encoder);
}

// Output time stamps never go backwards: a start before the last stop moves to just after
// it, and a stop before its start moves to just after the start.
void orderTimestamps(Stream* stream, GstVideoCodecFrame* frame) {
  if (!GST_CLOCK_TIME_IS_VALID(frame->pts)) return;
  GstClockTime start = frame->pts;
  GstClockTime stop = GST_CLOCK_TIME_IS_VALID(frame->duration) ? start + frame->duration : start;
  if (GST_CLOCK_TIME_IS_VALID(stream->last_stop) && start < stream->last_stop) {
    start = stream->last_stop + 1;
    if (stop < start) stop = start + 1;
  }
  stream->last_stop = stop;
  frame->pts = start;
  frame->dts = start;
  if (GST_CLOCK_TIME_IS_VALID(frame->duration)) frame->duration = stop - start;
}

GstFlowReturn handle_frame(GstVideoEncoder* encoder, GstVideoCodecFrame* frame) {
  GstVxEnc* self = GST_VX_ENC(encoder);
  Stream* stream = self->stream;
  if (!stream || !stream->encoder_open || !stream->input_state) {
    gst_video_codec_frame_unref(frame);
    return GST_FLOW_NOT_NEGOTIATED;
  }

  GstVideoFrame video_frame;
  if (!gst_video_frame_map(&video_frame, &stream->input_state->info, frame->input_buffer,
                           GST_MAP_READ)) {
    GST_WARNING_OBJECT(self, "cannot map the input picture; dropped");
    return gst_video_encoder_finish_frame(encoder, frame);
  }
  const VxFramePlanes* planes = stream->input.prepare(video_frame);
  if (!planes) {
    gst_video_frame_unmap(&video_frame);
    GST_WARNING_OBJECT(self, "cannot prepare the input picture; dropped");
    return gst_video_encoder_finish_frame(encoder, frame);
  }

  {
    SettingsLock lock(self);
    stream->params.quantiser = self->quantiser;
    stream->params.keyFrameInterval = self->key_frame_interval;
    stream->params.searchMode = self->motion_search;
    if (self->key_frame_request || GST_VIDEO_CODEC_FRAME_IS_FORCE_KEYFRAME(frame)) {
      stream->params.keyFrameRequest = 1;
      // Taken here, so that a request made while this picture encodes applies to the next.
      self->key_frame_request = FALSE;
    }
  }
  if (stream->opened_all_intra && stream->params.keyFrameInterval > 1) {
    // An encoder opened for I-pictures only stays that way for its life; a longer interval
    // asked for later takes a new one, which starts with the I-picture it would send anyway.
    VxEncoderParams reopened = stream->params;
    reopened.state = nullptr;
    vantry::codec::vx_encoder_close(&stream->params);
    stream->params = reopened;
    stream->encoder_open = vantry::codec::vx_encoder_open(&stream->params) == 0;
    if (!stream->encoder_open) {
      gst_video_frame_unmap(&video_frame);
      GST_ELEMENT_ERROR(self, LIBRARY, INIT, (nullptr), ("cannot reopen the encoder"));
      gst_video_codec_frame_unref(frame);
      return GST_FLOW_ERROR;
    }
    stream->opened_all_intra = false;
  }

  const gsize capacity = rawPictureBytes(stream->params.width, stream->params.height);
  GstFlowReturn flow = gst_video_encoder_allocate_output_frame(encoder, frame, capacity);
  if (flow != GST_FLOW_OK) {
    gst_video_frame_unmap(&video_frame);
    gst_video_codec_frame_unref(frame);
    return flow;
  }
  GstMapInfo out_map;
  if (!gst_buffer_map(frame->output_buffer, &out_map, GST_MAP_WRITE)) {
    gst_video_frame_unmap(&video_frame);
    gst_buffer_replace(&frame->output_buffer, nullptr);
    GST_WARNING_OBJECT(self, "cannot map the output buffer; picture dropped");
    return gst_video_encoder_finish_frame(encoder, frame);
  }
  const int written = vantry::codec::vx_encode(&stream->params, planes, out_map.data, out_map.size);
  gst_buffer_unmap(frame->output_buffer, &out_map);
  gst_video_frame_unmap(&video_frame);
  stream->params.keyFrameRequest = 0;

  if (written <= 0) {
    // Nothing fitted even at the coarsest quantiser; the encoder restarts with an I-picture.
    GST_WARNING_OBJECT(self, "picture could not be encoded; dropped");
    gst_buffer_replace(&frame->output_buffer, nullptr);
    return gst_video_encoder_finish_frame(encoder, frame);
  }
  gst_buffer_set_size(frame->output_buffer, written);
  {
    SettingsLock lock(self);
    ++self->encoded_count;
  }
  if (stream->params.keyFlag)
    GST_VIDEO_CODEC_FRAME_SET_SYNC_POINT(frame);
  else
    GST_VIDEO_CODEC_FRAME_UNSET_SYNC_POINT(frame);
  orderTimestamps(stream, frame);
  return gst_video_encoder_finish_frame(encoder, frame);
}

// The coded size differs from the input size, so the base class's habit of asking upstream
// for downstream's width and height would refuse every picture that needs padding.
GstCaps* getcaps(GstVideoEncoder* encoder, GstCaps* filter) {
  GstCaps* templ = gst_pad_get_pad_template_caps(GST_VIDEO_ENCODER_SINK_PAD(encoder));
  if (!filter) return templ;
  GstCaps* result = gst_caps_intersect_full(filter, templ, GST_CAPS_INTERSECT_FIRST);
  gst_caps_unref(templ);
  return result;
}

gboolean propose_allocation(GstVideoEncoder* encoder, GstQuery* query) {
  // Any plane layout is fine: pictures with unusual strides are copied into our own buffer.
  gst_query_add_allocation_meta(query, GST_VIDEO_META_API_TYPE, nullptr);
  return GST_VIDEO_ENCODER_CLASS(gst_vx_enc_parent_class)->propose_allocation(encoder, query);
}

}  // namespace

static void gst_vx_enc_class_init(GstVxEncClass* klass) {
  GObjectClass* gobject_class = G_OBJECT_CLASS(klass);
  GstElementClass* element_class = GST_ELEMENT_CLASS(klass);
  GstVideoEncoderClass* encoder_class = GST_VIDEO_ENCODER_CLASS(klass);

  gobject_class->set_property = set_property;
  gobject_class->get_property = get_property;
  gobject_class->finalize = finalize;

  const auto flags = static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS |
                                              GST_PARAM_MUTABLE_PLAYING);
  g_object_class_install_property(
      gobject_class, PROP_QUALITY,
      g_param_spec_double("quality", "Quality",
                          "Picture quality from 0.0 (quantiser 13) to 1.0 (quantiser 2); the "
                          "quantiser is the truncation of 13 - 11 x quality",
                          0.0, 1.0, DEFAULT_QUALITY, flags));
  g_object_class_install_property(
      gobject_class, PROP_KEY_FRAME_INTERVAL,
      g_param_spec_int("key-frame-interval", "Key-frame interval",
                       "Pictures from one I-picture to the next (0 and 1: every picture). "
                       "Unless set, one second's worth of pictures from the input frame rate",
                       0, G_MAXINT, DEFAULT_KEY_FRAME_INTERVAL, flags));
  g_object_class_install_property(
      gobject_class, PROP_MOTION_SEARCH,
      g_param_spec_enum("motion-search", "Motion search", "Motion search mode",
                        GST_TYPE_VX_ENC_MOTION_SEARCH, DEFAULT_MOTION_SEARCH, flags));
  g_object_class_install_property(
      gobject_class, PROP_KEY_FRAME_REQUEST,
      g_param_spec_boolean("key-frame-request", "Key-frame request",
                           "Set to make the next picture an I-picture; reads back as pending "
                           "until that picture is encoded",
                           DEFAULT_KEY_FRAME_REQUEST, flags));
  g_object_class_install_property(
      gobject_class, PROP_ENCODED_COUNT,
      g_param_spec_uint("encoded-count", "Encoded count",
                        "Pictures encoded since streaming last started", 0, G_MAXUINT, 0,
                        static_cast<GParamFlags>(G_PARAM_READABLE | G_PARAM_STATIC_STRINGS)));

  gst_element_class_add_static_pad_template(element_class, &sink_template);
  gst_element_class_add_static_pad_template(element_class, &src_template);
  gst_element_class_set_static_metadata(element_class, "VX Video Encoder",
                                        "Codec/Encoder/Video",
                                        "Encodes raw video to VX01", "Vantry");

  encoder_class->start = start;
  encoder_class->stop = stop;
  encoder_class->set_format = set_format;
  encoder_class->handle_frame = handle_frame;
  encoder_class->propose_allocation = propose_allocation;
  encoder_class->getcaps = getcaps;

  gst_type_mark_as_plugin_api(GST_TYPE_VX_ENC_MOTION_SEARCH, static_cast<GstPluginAPIFlags>(0));
  GST_DEBUG_CATEGORY_INIT(gst_vx_enc_debug, "vxenc", 0, "VX01 video encoder");
}

static void gst_vx_enc_init(GstVxEnc* self) {
  g_mutex_init(&self->settings_lock);
  self->quantiser = DEFAULT_QUANTISER;
  self->key_frame_interval = DEFAULT_KEY_FRAME_INTERVAL;
  self->interval_set_by_user = FALSE;
  self->motion_search = DEFAULT_MOTION_SEARCH;
  self->key_frame_request = DEFAULT_KEY_FRAME_REQUEST;
  self->encoded_count = 0;
  self->stream = nullptr;
}
