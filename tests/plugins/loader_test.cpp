// A program finds our elements through the folder beside its executable, with no
// GST_PLUGIN_PATH and a registry that has never seen them.
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "plugins/plugin_loader.h"

namespace {

TEST(PluginLoader, RegistersTheFolderBesideTheExecutable) {
  char pattern[] = "/tmp/vantry-loader-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string registry = std::string(pattern) + "/registry.bin";
  unsetenv("GST_PLUGIN_PATH");
  unsetenv("GST_PLUGIN_PATH_1_0");
  setenv("GST_REGISTRY", registry.c_str(), 1);
  setenv("GST_REGISTRY_FORK", "no", 0);  // sanitizer builds: the scanner could not load them

  EXPECT_FALSE(vantry::plugins::registerBundledPlugins()) << "must refuse before gst_init";
  gst_init(nullptr, nullptr);
  EXPECT_EQ(gst_element_factory_find("vxenc"), nullptr);

  EXPECT_EQ(vantry::plugins::bundledPluginDir(), std::string(VANTRY_TEST_BIN_DIR) + "/gstreamer-1.0");
  EXPECT_TRUE(vantry::plugins::registerBundledPlugins());
  for (const char* name : {"vxenc", "vxdec", "vxfrc"}) {
    GstElement* element = gst_element_factory_make(name, nullptr);
    EXPECT_NE(element, nullptr) << name;
    if (element) gst_object_unref(element);
  }
  EXPECT_FALSE(vantry::plugins::registerPluginDir(std::string(pattern) + "/missing"));
  std::filesystem::remove_all(pattern);
}

}  // namespace
