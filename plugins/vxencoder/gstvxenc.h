// vxenc: compresses raw video to VX01, one coded picture per buffer.
#pragma once

#include <gst/gst.h>
#include <gst/video/gstvideoencoder.h>

G_BEGIN_DECLS

#define GST_TYPE_VX_ENC (gst_vx_enc_get_type())
G_DECLARE_FINAL_TYPE(GstVxEnc, gst_vx_enc, GST, VX_ENC, GstVideoEncoder)

// Values of the "motion-search" property, the codec's motion search modes.
typedef enum {
  GST_VX_ENC_MOTION_SEARCH_ZERO = 0,
  GST_VX_ENC_MOTION_SEARCH_DIAMOND = 1,
  GST_VX_ENC_MOTION_SEARCH_FULL = 2,
} GstVxEncMotionSearch;

#define GST_TYPE_VX_ENC_MOTION_SEARCH (gst_vx_enc_motion_search_get_type())
GType gst_vx_enc_motion_search_get_type(void);

// Caps feature of 24-bit BGR input whose rows run bottom-up (the Windows DIB row order).
#define GST_VX_ENC_CAPS_FEATURE_BOTTOM_UP "vantry:BottomUp"

GST_ELEMENT_REGISTER_DECLARE(vxenc);

G_END_DECLS
