#include "gstvxfrc.h"

static gboolean plugin_init(GstPlugin* plugin) { return GST_ELEMENT_REGISTER(vxfrc, plugin); }

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, vxfrc, "VX frame rate control", plugin_init,
                  VERSION, "Proprietary", GST_PACKAGE_NAME, GST_PACKAGE_ORIGIN)
