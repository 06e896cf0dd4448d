#pragma once

#include "common/station_settings.h"

#include <cstdint>

namespace vantry::station {

enum class EventKind { Motion, Manual };

// The notification services (program, alarm, mail, FTP, PTZ, web server, address watch) as
// the hub calls on them. The hub decides when: a camera's notifications only while its event
// notification is on. Every call comes on the hub's thread; long work belongs on the
// listener's own threads.
class StationEventListener {
public:
    virtual ~StationEventListener() = default;

    // An event began on a camera whose event notification is on: run the program, raise the
    // window, sound the alarm, queue the mail, wake the FTP upload, as `camera` says.
    virtual void eventNotification(int /*cameraIndex*/, EventKind /*kind*/, const common::ChannelSettings& /*camera*/) {}
    // An event ended: stop the alarm.
    virtual void eventEnded(int /*cameraIndex*/) {}
    // The camera's saved state was applied (with or without a video device), or its
    // notification flag changed: start or stop its FTP upload, hand it its PTZ settings.
    virtual void cameraStateApplied(int /*cameraIndex*/, bool /*hasVideoDevice*/, const common::ChannelSettings& /*camera*/) {}
    // The station closes: stop address watch, mail, FTP, web server and alarm.
    virtual void stationClosing() {}
};

} // namespace vantry::station
