#pragma once

#include "common/record_index.h"
#include "station/core/clock.h"
#include "station/core/recording_control.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QObject;
class QTimer;

namespace vantry::station {

class RecordBranch;
class StationHub;

struct RecorderOptions {
    // The clock that names, dates and times the segments and the schedule.
    const Clock* clock = &SystemClock::instance();
    // Free bytes available to the user on the drive that holds a folder; negative when it
    // cannot be measured (counts as 0 MB). Empty: statvfs.
    std::function<int64_t(const std::string& folder)> freeBytes;
    // Test hook: the file length in seconds instead of nFileLength minutes (0 = the settings).
    int fileLengthSecondsOverride = 0;
};

// The station's recorder: turns each camera's recording flag and type into its channel's
// capture graph in normal or event mode, runs the weekly schedule, the manual trigger, the
// segments and their file changes, the record indexes and the recycling of old records.
// Lives on the hub's thread; the hub drives it through RecordingControl and RecordIndexControl.
class Recorder final : public RecordingControl, public RecordIndexControl {
public:
    static constexpr int kCameraCount = 4;
    static constexpr int kRecycleIntervalMs = 60000; // timer 1 of each channel
    static constexpr int kMaxRecycleSteps = 168;     // at most a week of hours per pass
    static constexpr int kRecycleStepSeconds = 3600;
    static constexpr int kMsgStorageShort = 61216;
    static constexpr int kMsgCannotRecordEvent = 61209;

    explicit Recorder(StationHub& hub, RecorderOptions options = {});
    ~Recorder() override;
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Opens every camera's record index (loaded, or rebuilt; files a crash left unfinished are
    // repaired and indexed) and arms the recycling timer. Call once the settings are read and
    // before the cameras' saved states are applied. Returns how many indexes opened.
    int open();
    // Stops every recording (the segments are finished and indexed) and saves the indexes.
    void close();

    // RecordingControl
    bool setRecording(int cameraIndex, int recordingType, bool on, bool quiet) override;
    void scheduledStart(int cameraIndex) override;
    void scheduledStop(int cameraIndex) override;
    void eventBegin(int cameraIndex, uint32_t eventTime) override;
    void eventEnd(int cameraIndex, uint32_t eventEndTime) override;
    void timeChanged() override;

    // RecordIndexControl
    bool saveIndexes() override;
    void reloadIndexes() override;
    void removeRecord(int cameraIndex, uint32_t recordStartTime) override;
    void removeDay(int cameraIndex, uint32_t timeInDay) override;
    void removeAll(int cameraIndex) override;

    // The manual trigger: an event for every camera with a device and the trigger enabled,
    // ended after the trigger length of the highest-numbered camera with a device. Returns
    // how many cameras were triggered.
    int manualTrigger() override;
    void endManualTrigger();

    // Storage: true when the free space is (or was made) larger than nMinFreeSpace, or the
    // records (or what is left of them) smaller than nMaxStorageSpace.
    bool minRecycle(int cameraIndex);
    bool maxRecycle(int cameraIndex);
    void recycleTick();

    // What the timers run; tests that drive the clock call them directly.
    void changeFile(int cameraIndex);
    void scheduleCheck(int cameraIndex);

    // State.
    bool isRecording(int cameraIndex) const;  // the capture graph records (either mode)
    bool isEventMode(int cameraIndex) const;
    bool isScheduleArmed(int cameraIndex) const;
    bool isGateOpen(int cameraIndex) const;
    int recordingLight(int cameraIndex) const; // the last recording light shown
    std::string currentFile(int cameraIndex) const;
    // Intervals of the armed timers in ms, 0 when not armed.
    int fileTimerMs(int cameraIndex) const;
    int scheduleTimerMs(int cameraIndex) const;
    int manualTimerMs() const;
    common::RecordIndex& index(int cameraIndex);
    std::string storageFolder(int cameraIndex) const;
    int64_t freeMegabytes(int cameraIndex) const;

private:
    struct Camera;

    bool startCapture(int cameraIndex, bool eventMode);
    void stopCapture(int cameraIndex);
    bool storageCheck(int cameraIndex);
    void finishSegment(int cameraIndex, int64_t now);
    bool openSegment(int cameraIndex, int64_t now);
    void armFileTimer(int cameraIndex);
    void setLight(int cameraIndex, int state);
    void switchDetection(int cameraIndex, bool on);
    bool recycle(int cameraIndex, bool byFreeSpace);
    int fileLengthMs(int cameraIndex) const;
    void logOperation(int cameraIndex, std::string_view text);

    StationHub& hub_;
    RecorderOptions options_;
    std::unique_ptr<QObject> context_;
    std::array<std::unique_ptr<Camera>, kCameraCount> cameras_;
    std::unique_ptr<QTimer> recycleTimer_;
    std::unique_ptr<QTimer> manualTimer_; // timer 15
    bool open_ = false;
    bool closing_ = false;
};

} // namespace vantry::station
