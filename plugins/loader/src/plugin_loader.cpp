#include "plugins/plugin_loader.h"

#include <gst/gst.h>

#include <filesystem>
#include <system_error>

namespace vantry::plugins {

std::string bundledPluginDir() {
  std::error_code error;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error || exe.empty()) return {};
  return (exe.parent_path() / "gstreamer-1.0").string();
}

bool registerPluginDir(const std::string& dir) {
  if (dir.empty() || !gst_is_initialized()) return false;
  std::error_code error;
  if (!std::filesystem::is_directory(dir, error)) return false;
  // The return value only says whether the registry changed; a folder scanned before is fine.
  gst_registry_scan_path(gst_registry_get(), dir.c_str());
  return true;
}

bool registerBundledPlugins() { return registerPluginDir(bundledPluginDir()); }

}  // namespace vantry::plugins
