#include "viewer/alarm_sound.h"

#include <gst/gst.h>

#include <filesystem>

namespace vantry::viewer {

AlarmSound::~AlarmSound() { stop(); }

bool AlarmSound::play(const std::string& file)
{
    stop();
    std::error_code ec;
    if (file.empty() || !std::filesystem::is_regular_file(file, ec))
        return false;
    if (!gst_is_initialized())
        gst_init(nullptr, nullptr);
    GstElement* playbin = gst_element_factory_make("playbin", nullptr);
    if (!playbin)
        return false;
    gchar* uri = gst_filename_to_uri(file.c_str(), nullptr);
    if (!uri) {
        gst_object_unref(playbin);
        return false;
    }
    g_object_set(playbin, "uri", uri, nullptr);
    g_free(uri);
    // A box without a sound card still raises its alarm on screen: no audio sink, no sound.
    if (gst_element_set_state(playbin, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        gst_element_set_state(playbin, GST_STATE_NULL);
        gst_object_unref(playbin);
        return false;
    }
    pipeline_ = playbin;
    return true;
}

void AlarmSound::stop()
{
    if (!pipeline_)
        return;
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    gst_object_unref(pipeline_);
    pipeline_ = nullptr;
}

} // namespace vantry::viewer
