// vxdec: decodes VX01 pictures, one per buffer, to raw video.
#pragma once

#include <gst/gst.h>
#include <gst/video/gstvideodecoder.h>

G_BEGIN_DECLS

#define GST_TYPE_VX_DEC (gst_vx_dec_get_type())
G_DECLARE_FINAL_TYPE(GstVxDec, gst_vx_dec, GST, VX_DEC, GstVideoDecoder)

GST_ELEMENT_REGISTER_DECLARE(vxdec);

G_END_DECLS
