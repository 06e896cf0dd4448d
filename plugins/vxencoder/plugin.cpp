#include "gstvxenc.h"

static gboolean plugin_init(GstPlugin* plugin) { return GST_ELEMENT_REGISTER(vxenc, plugin); }

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, vxencoder, "VX01 video encoder", plugin_init,
                  VERSION, "Proprietary", GST_PACKAGE_NAME, GST_PACKAGE_ORIGIN)
