#include "gstvxfrc.h"

#include <cstdint>

GST_DEBUG_CATEGORY_STATIC(gst_vx_frc_debug);
#define GST_CAT_DEFAULT gst_vx_frc_debug

namespace {

enum {
  PROP_0,
  PROP_RATE,
  PROP_MODE,
};

constexpr gint DEFAULT_RATE = 3000;  // hundredths of a frame per second
constexpr gint DEFAULT_MODE = GST_VX_FRC_MODE_GATE_OPEN;
constexpr gint MAX_RATE = 100000000;  // keeps the interval at one 100-ns unit or more

// The interval is kept in 100-ns units like the rate's definition, so that a 10.00 frames/s
// limit passes a sample exactly 1 000 000 units after the last one and not 1 unit earlier.
constexpr gint64 kNsPer100ns = 100;

gint64 intervalFor(gint rate) { return (G_GINT64_CONSTANT(1000000000) / rate) * kNsPer100ns; }

GstStaticPadTemplate sink_template =
    GST_STATIC_PAD_TEMPLATE("sink", GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS_ANY);
GstStaticPadTemplate src_template =
    GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS_ANY);

}  // namespace

struct _GstVxFrc {
  GstBaseTransform parent;

  // Guarded by the object lock: set from application threads, read per sample.
  gboolean gate_open;
  gboolean rate_limiting;
  gint rate;
  gint64 interval_ns;
  gint64 last_passed_ns;
};

G_DEFINE_TYPE(GstVxFrc, gst_vx_frc, GST_TYPE_BASE_TRANSFORM)
GST_ELEMENT_REGISTER_DEFINE(vxfrc, "vxfrc", GST_RANK_NONE, GST_TYPE_VX_FRC)

namespace {

void set_property(GObject* object, guint prop_id, const GValue* value, GParamSpec* pspec) {
  GstVxFrc* self = GST_VX_FRC(object);
  GST_OBJECT_LOCK(self);
  switch (prop_id) {
    case PROP_RATE:
      // The property's minimum of 1 already refuses 0, whose interval has no meaning.
      self->rate = g_value_get_int(value);
      self->interval_ns = intervalFor(self->rate);
      break;
    case PROP_MODE: {
      const gint mode = g_value_get_int(value);
      self->gate_open = (mode & GST_VX_FRC_MODE_GATE_OPEN) != 0;
      self->rate_limiting = (mode & GST_VX_FRC_MODE_RATE_LIMIT) != 0;
      // Switching the limit on always starts counting afresh.
      if (self->rate_limiting) self->last_passed_ns = 0;
      break;
    }
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID(object, prop_id, pspec);
      break;
  }
  GST_OBJECT_UNLOCK(self);
}

void get_property(GObject* object, guint prop_id, GValue* value, GParamSpec* pspec) {
  GstVxFrc* self = GST_VX_FRC(object);
  GST_OBJECT_LOCK(self);
  switch (prop_id) {
    case PROP_RATE:
      g_value_set_int(value, self->rate);
      break;
    case PROP_MODE:
      g_value_set_int(value, (self->gate_open ? GST_VX_FRC_MODE_GATE_OPEN : 0) |
                                 (self->rate_limiting ? GST_VX_FRC_MODE_RATE_LIMIT : 0));
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID(object, prop_id, pspec);
      break;
  }
  GST_OBJECT_UNLOCK(self);
}

GstFlowReturn transform_ip(GstBaseTransform* trans, GstBuffer* buffer) {
  GstVxFrc* self = GST_VX_FRC(trans);
  bool pass = true;

  GST_OBJECT_LOCK(self);
  if (!self->gate_open) {
    pass = false;
  } else if (self->rate_limiting) {
    GstClockTime start = GST_BUFFER_PTS(buffer);
    if (!GST_CLOCK_TIME_IS_VALID(start)) start = GST_BUFFER_DTS(buffer);
    if (GST_CLOCK_TIME_IS_VALID(start)) {
      const gint64 start_ns = static_cast<gint64>(start);
      const gint64 since_last = start_ns - self->last_passed_ns;
      if (since_last < 0) {
        // The source restarted its clock. Waiting for it to catch up with the old time line
        // would drop everything for as long as the previous run lasted; start a new one.
        GST_DEBUG_OBJECT(self, "time went back from %" G_GINT64_FORMAT " to %" G_GINT64_FORMAT,
                         self->last_passed_ns, start_ns);
        self->last_passed_ns = start_ns;
      } else if (since_last < self->interval_ns) {
        pass = false;
      } else {
        self->last_passed_ns = start_ns;
      }
    }
  } else {
    pass = gst_buffer_get_size(buffer) != 0;
  }
  GST_OBJECT_UNLOCK(self);

  GST_LOG_OBJECT(self, "%s buffer %" GST_PTR_FORMAT, pass ? "passing" : "dropping",
                 static_cast<void*>(buffer));
  return pass ? GST_FLOW_OK : GST_BASE_TRANSFORM_FLOW_DROPPED;
}

}  // namespace

static void gst_vx_frc_class_init(GstVxFrcClass* klass) {
  GObjectClass* gobject_class = G_OBJECT_CLASS(klass);
  GstElementClass* element_class = GST_ELEMENT_CLASS(klass);
  GstBaseTransformClass* trans_class = GST_BASE_TRANSFORM_CLASS(klass);

  gobject_class->set_property = set_property;
  gobject_class->get_property = get_property;

  g_object_class_install_property(
      gobject_class, PROP_RATE,
      g_param_spec_int("rate", "Rate",
                       "Maximum rate while rate limiting, in hundredths of a frame per second "
                       "(3000 = 30.00 frames/s)",
                       1, MAX_RATE, DEFAULT_RATE,
                       static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS |
                                                GST_PARAM_MUTABLE_PLAYING)));
  g_object_class_install_property(
      gobject_class, PROP_MODE,
      g_param_spec_int("mode", "Mode",
                       "Bit 0 (0x01): gate open, samples pass; bit 4 (0x10): rate limiting by "
                       "time stamp, setting it restarts the count; other bits are ignored",
                       G_MININT, G_MAXINT, DEFAULT_MODE,
                       static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS |
                                                GST_PARAM_MUTABLE_PLAYING)));

  gst_element_class_add_static_pad_template(element_class, &sink_template);
  gst_element_class_add_static_pad_template(element_class, &src_template);
  gst_element_class_set_static_metadata(
      element_class, "VX Frame Rate Control", "Filter/Video/Audio",
      "Passes samples unchanged through a gate, optionally limited to a maximum frame rate",
      "Vantry");

  trans_class->transform_ip = transform_ip;
  trans_class->transform_ip_on_passthrough = TRUE;
  trans_class->passthrough_on_same_caps = TRUE;

  GST_DEBUG_CATEGORY_INIT(gst_vx_frc_debug, "vxfrc", 0, "VX frame rate control");
}

static void gst_vx_frc_init(GstVxFrc* self) {
  self->gate_open = TRUE;
  self->rate_limiting = FALSE;
  self->rate = DEFAULT_RATE;
  self->interval_ns = intervalFor(DEFAULT_RATE);
  self->last_passed_ns = 0;
  gst_base_transform_set_passthrough(GST_BASE_TRANSFORM(self), TRUE);
  gst_base_transform_set_qos_enabled(GST_BASE_TRANSFORM(self), FALSE);
}
