#pragma once

#include <cstdint>

namespace vantry::station {

// The recording side of the station as the hub drives it: recording modes, the schedule and
// event recording. Implemented by the recorder; until one is attached the hub leaves the
// stored recording flags as they are. Every call comes on the hub's thread.
class RecordingControl {
public:
    virtual ~RecordingControl() = default;

    // Starts or stops recording of that type (0 round-the-clock, 1 event, 2 scheduled,
    // 3 scheduled event). quiet leaves out the log lines of types 0 and 1. False when a start
    // failed (the hub then clears the recording flag).
    virtual bool setRecording(int cameraIndex, int recordingType, bool on, bool quiet) = 0;
    // Commands 32794 and 32795: the schedule's own start and stop.
    virtual void scheduledStart(int cameraIndex) = 0;
    virtual void scheduledStop(int cameraIndex) = 0;
    // An event of the camera began or ended (32787, 32788).
    virtual void eventBegin(int cameraIndex, uint32_t eventTime) = 0;
    virtual void eventEnd(int cameraIndex, uint32_t eventEndTime) = 0;
    // The system clock was set: scheduled cameras check their hours at once.
    virtual void timeChanged() = 0;
    // The manual trigger (the Enter key, or a headless command): how many cameras it started.
    virtual int manualTrigger() { return 0; }
};

// The four cameras' record indexes, as the record player asks for them (33781 to 33785) and
// as the hub needs them (32786, Search Records). Every call comes on the hub's thread.
class RecordIndexControl {
public:
    virtual ~RecordIndexControl() = default;

    // Every camera saves its index; true when at least one index was written.
    virtual bool saveIndexes() = 0;
    // Every camera reads its index again from disk.
    virtual void reloadIndexes() = 0;
    // The player deleted files: the index forgets them, without touching files, and is saved.
    virtual void removeRecord(int cameraIndex, uint32_t recordStartTime) = 0;
    virtual void removeDay(int cameraIndex, uint32_t timeInDay) = 0;
    virtual void removeAll(int cameraIndex) = 0;
};

} // namespace vantry::station
