// The viewer's recorder: the received VX01 stream written as it is into record files of the
// station's format, in day folders under the viewer's storage path, entered into the viewer's
// record index when each file closes.
//
// Frames arrive on the link's receive thread; the user's commands and disconnection close
// files on the main thread. One lock serialises both, and guards the record index as well,
// because files that close on the receive thread are indexed there.
#pragma once

#include "common/record_index.h"
#include "common/zt_v_file.h"
#include "viewer/viewer_settings.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vantry::viewer {

enum class RecorderNotice {
    RecordingOn,       // a file was opened (recording icon on)
    RecordingOff,      // the file was closed (recording icon off)
    NotEnoughSpace,    // the free space is at the minimum: recording switched off
    HeaderFailed,      // the file's headers could not be written
};

struct RecordingSource {
    std::vector<uint8_t> streamFormat; // the stream's bitmap header (biSizeImage as last seen)
    std::string siteName;
    std::string cameraName;
    uint32_t cameraIndex = 0;
};

class ViewerRecorder {
public:
    using Notify = std::function<void(RecorderNotice)>;
    using KeyFrameRequest = std::function<void()>;
    using FreeSpaceProbe = std::function<int64_t(const std::string& folder)>;

    ViewerRecorder();
    ~ViewerRecorder();

    void setNotify(Notify notify);
    void setKeyFrameRequest(KeyFrameRequest request);
    // Tests give the free space they want to see; the default asks the file system.
    void setFreeSpaceProbe(FreeSpaceProbe probe);

    // Storage folder and its index (opened, or rebuilt and saved). Reopens the index only
    // when the folder changes. Returns the index's Open result (1 / 0).
    int setStorage(const std::string& basePath, int32_t minFreeSpaceMb);
    void setMinFreeSpace(int32_t megabytes);
    void setFileLengthMinutes(int32_t minutes);
    void setRecordType(RecordType type); // closes an open file
    RecordType recordType() const;

    // The Record button. Switching it off closes an open file.
    void setAllowed(bool allowed);
    bool allowed() const;
    bool recording() const;
    bool waitingForKeyFrame() const;

    // Opens a new file (closing the open one); askKeyFrame sends a key-frame request.
    // False when not allowed, not enough space (recording is then switched off) or the file
    // cannot be made.
    bool start(bool askKeyFrame, const RecordingSource& source);
    // Closes the open file: indexed when it holds frames, deleted otherwise.
    void close();

    // One received frame (time t). With round-the-clock recording it starts and splits
    // files; while recording it writes the frame once the first key frame has come.
    // eventOnly: the link's event-only mode (round-the-clock files then follow the events).
    void onFrame(uint32_t t, const uint8_t* data, size_t size, bool keyFrame, bool eventOnly,
                 const RecordingSource& source);

    // The player's index messages and the shell's saves.
    int saveIndex();
    int removeRecord(int32_t time);
    int removeDay(int32_t time);
    int removeAll();
    size_t indexedRecords() const;
    std::vector<common::IndexRecord> indexRecords() const;
    std::string storagePath() const;
    // The last file closed (for tests and the status line).
    std::string lastClosedPath() const;

private:
    bool startLocked(bool askKeyFrame, const RecordingSource& source);
    void closeLocked();
    std::string dayFolderLocked();
    void notify(RecorderNotice notice);

    mutable std::mutex mutex_;
    Notify notify_;
    KeyFrameRequest keyFrameRequest_;
    FreeSpaceProbe freeSpace_;
    std::unique_ptr<common::CZtVFile> file_;
    common::RecordIndex index_;
    std::string basePath_;
    std::string dayFolder_;
    std::string dayFolderDate_;
    std::string lastClosed_;
    int32_t minFreeSpaceMb_ = 1024;
    int32_t fileLengthMinutes_ = 5;
    int64_t lastFreeMb_ = -1;
    RecordType recordType_ = RecordType::RoundTheClock;
    bool allowed_ = false;
    bool recording_ = false;
    bool waitingKey_ = false;
};

} // namespace vantry::viewer
