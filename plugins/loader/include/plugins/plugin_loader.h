// Lets a program use the vxenc, vxdec and vxfrc elements without any environment set-up.
#pragma once

#include <string>

namespace vantry::plugins {

// The folder where the build lays our GStreamer plug-ins: "gstreamer-1.0" beside the running
// executable. Empty when the executable's path cannot be read.
std::string bundledPluginDir();

// Adds bundledPluginDir() to the default GStreamer registry. Call after gst_init(). Returns
// true when the folder exists and was scanned; elements are then found by name as usual.
bool registerBundledPlugins();

// Same for an explicit folder (tests, tools that live elsewhere).
bool registerPluginDir(const std::string& dir);

}  // namespace vantry::plugins
