// vxfrc: passes or drops samples unchanged, as a gate and an optional rate limit by time stamp.
#pragma once

#include <gst/base/gstbasetransform.h>
#include <gst/gst.h>

G_BEGIN_DECLS

#define GST_TYPE_VX_FRC (gst_vx_frc_get_type())
G_DECLARE_FINAL_TYPE(GstVxFrc, gst_vx_frc, GST, VX_FRC, GstBaseTransform)

// Bits of the "mode" property.
enum : gint {
  GST_VX_FRC_MODE_GATE_OPEN = 0x01,
  GST_VX_FRC_MODE_RATE_LIMIT = 0x10,
};

GST_ELEMENT_REGISTER_DECLARE(vxfrc);

G_END_DECLS
