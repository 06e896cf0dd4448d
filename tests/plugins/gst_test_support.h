// Shared set-up for the plug-in tests: GStreamer initialised once, our plug-in folder scanned.
#pragma once

#include <gst/gst.h>

#include <mutex>
#include <string>

#include "plugins/plugin_loader.h"

namespace vantry::plugins::test {

inline std::string pluginDir() { return VANTRY_TEST_BIN_DIR "/gstreamer-1.0"; }

inline void initGstWithPlugins() {
  static std::once_flag once;
  std::call_once(once, [] {
    // Scan in this process: a separate scanner could not load sanitizer-built plug-ins.
    g_setenv("GST_REGISTRY_FORK", "no", FALSE);
    gst_init(nullptr, nullptr);
    registerPluginDir(pluginDir());
  });
}

// Owns a GStreamer object reference for the length of a test.
template <typename T>
struct GstRef {
  T* ptr = nullptr;
  GstRef() = default;
  explicit GstRef(T* p) : ptr(p) {}
  GstRef(const GstRef&) = delete;
  GstRef& operator=(const GstRef&) = delete;
  ~GstRef() {
    if (ptr) gst_object_unref(ptr);
  }
  T* get() const { return ptr; }
  explicit operator bool() const { return ptr != nullptr; }
};

}  // namespace vantry::plugins::test

