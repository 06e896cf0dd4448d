// The viewer's alarm: a sound file played once through a GStreamer playbin; stopping ends a
// sound still playing. Used from the main thread.
#pragma once

#include <string>

typedef struct _GstElement GstElement;

namespace vantry::viewer {

class AlarmSound {
public:
    AlarmSound() = default;
    ~AlarmSound();
    AlarmSound(const AlarmSound&) = delete;
    AlarmSound& operator=(const AlarmSound&) = delete;

    // Starts playing file (asynchronously). False when the file is missing or no pipeline can
    // be made; a sound already playing is replaced.
    bool play(const std::string& file);
    void stop();
    bool playing() const { return pipeline_ != nullptr; }

private:
    GstElement* pipeline_ = nullptr;
};

} // namespace vantry::viewer
