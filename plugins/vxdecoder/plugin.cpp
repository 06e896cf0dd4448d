#include "gstvxdec.h"

static gboolean plugin_init(GstPlugin* plugin) { return GST_ELEMENT_REGISTER(vxdec, plugin); }

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, vxdecoder, "VX01 video decoder", plugin_init,
                  VERSION, "Proprietary", GST_PACKAGE_NAME, GST_PACKAGE_ORIGIN)
