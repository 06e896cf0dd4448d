// vxdec as a pipeline meets a hostile record: pictures whose headers are valid but whose
// sizes jump around and whose macroblock data is noise, into every output form. The element
// must renegotiate, drop or decode, and never write outside a buffer.
#include <gst/check/gstharness.h>
#include <gst/gst.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "codec/bit_writer.h"
#include "codec/picture_header.h"
#include "plugins/plugin_loader.h"

namespace {

using vantry::codec::BitWriter;
using vantry::codec::PictureHeader;
using vantry::codec::PictureType;

const char* const kOutputCaps[] = {"video/x-raw,format=I420", "video/x-raw,format=BGR",
                                   "video/x-raw,format=RGB16", "video/x-raw,format=BGRx"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = [] {
    g_setenv("GST_REGISTRY_FORK", "no", FALSE);
    gst_init(nullptr, nullptr);
    return vantry::plugins::registerPluginDir(VANTRY_PLUGIN_DIR);
  }();
  if (!ready || size < 1) return 0;

  GstHarness* harness = gst_harness_new("vxdec");
  if (!harness) return 0;
  gst_harness_set_sink_caps_str(harness, kOutputCaps[data[0] % 4]);
  gst_harness_set_src_caps_str(harness, "video/x-vx01,width=32,height=32,framerate=25/1");
  size_t at = 1;
  GstClockTime pts = 0;
  // Each picture: 3 bytes choose size, type and quantiser, 1 byte the length of the noise.
  while (at + 4 <= size) {
    PictureHeader header;
    header.width = 16 * (1 + data[at] % 12);
    header.height = 16 * (1 + data[at + 1] % 10);
    header.type = (data[at + 2] & 1) ? PictureType::Inter : PictureType::Intra;
    header.quantiser = 1 + (data[at + 2] >> 1) % 31;
    const size_t noise = std::min<size_t>(data[at + 3] * 4u, size - at - 4);
    at += 4;
    std::vector<uint8_t> picture(64 + noise);
    BitWriter writer(picture.data(), picture.size());
    writePictureHeader(writer, header);
    for (size_t i = 0; i < noise; ++i) writer.put(data[at + i], 8);
    picture.resize(writer.finish());
    at += noise;

    GstBuffer* buffer = gst_buffer_new_memdup(picture.data(), picture.size());
    GST_BUFFER_PTS(buffer) = pts;
    pts += GST_SECOND / 25;
    if (gst_harness_push(harness, buffer) != GST_FLOW_OK) break;
    while (GstBuffer* out = gst_harness_try_pull(harness)) gst_buffer_unref(out);
  }
  gst_harness_teardown(harness);
  return 0;
}
