#include "viewer/viewer_recorder.h"

#include "common/avi_format.h"
#include "common/folder_prep.h"
#include "platform/system_info.h"

#include <ctime>
#include <unistd.h>

namespace vantry::viewer {

namespace {

constexpr uint32_t kHandlerIyuv = 0x56555949; // 'I','Y','U','V'

std::string todayText()
{
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    localtime_r(&now, &local);
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &local);
    return text;
}

} // namespace

ViewerRecorder::ViewerRecorder()
    : freeSpace_([](const std::string& folder) { return platform::freeDiskBytes(folder); })
{
}

ViewerRecorder::~ViewerRecorder()
{
    std::lock_guard lock(mutex_);
    closeLocked();
}

void ViewerRecorder::setNotify(Notify notify)
{
    std::lock_guard lock(mutex_);
    notify_ = std::move(notify);
}

void ViewerRecorder::setKeyFrameRequest(KeyFrameRequest request)
{
    std::lock_guard lock(mutex_);
    keyFrameRequest_ = std::move(request);
}

void ViewerRecorder::setFreeSpaceProbe(FreeSpaceProbe probe)
{
    std::lock_guard lock(mutex_);
    freeSpace_ = std::move(probe);
}

void ViewerRecorder::notify(RecorderNotice notice)
{
    if (notify_)
        notify_(notice);
}

int ViewerRecorder::setStorage(const std::string& basePath, int32_t minFreeSpaceMb)
{
    std::lock_guard lock(mutex_);
    minFreeSpaceMb_ = minFreeSpaceMb;
    if (basePath == basePath_ && !index_.StorageFolder().empty())
        return 1;
    closeLocked();
    basePath_ = basePath;
    dayFolderDate_.clear();
    common::prepareFolder(basePath_);
    return index_.Open(basePath_);
}

void ViewerRecorder::setMinFreeSpace(int32_t megabytes)
{
    std::lock_guard lock(mutex_);
    minFreeSpaceMb_ = megabytes;
}

void ViewerRecorder::setFileLengthMinutes(int32_t minutes)
{
    std::lock_guard lock(mutex_);
    fileLengthMinutes_ = minutes;
    if (file_)
        file_->SetFileLengthLimit(minutes);
}

void ViewerRecorder::setRecordType(RecordType type)
{
    std::lock_guard lock(mutex_);
    if (type == recordType_)
        return;
    recordType_ = type;
    closeLocked();
}

RecordType ViewerRecorder::recordType() const
{
    std::lock_guard lock(mutex_);
    return recordType_;
}

void ViewerRecorder::setAllowed(bool allowed)
{
    std::lock_guard lock(mutex_);
    allowed_ = allowed;
    if (!allowed)
        closeLocked();
}

bool ViewerRecorder::allowed() const
{
    std::lock_guard lock(mutex_);
    return allowed_;
}

bool ViewerRecorder::recording() const
{
    std::lock_guard lock(mutex_);
    return recording_;
}

bool ViewerRecorder::waitingForKeyFrame() const
{
    std::lock_guard lock(mutex_);
    return waitingKey_;
}

bool ViewerRecorder::start(bool askKeyFrame, const RecordingSource& source)
{
    std::lock_guard lock(mutex_);
    return startLocked(askKeyFrame, source);
}

std::string ViewerRecorder::dayFolderLocked()
{
    const std::string today = todayText();
    if (today != dayFolderDate_) {
        const std::string folder = basePath_ + "/" + today;
        dayFolder_ = common::prepareFolder(folder) ? folder : basePath_;
        dayFolderDate_ = today;
    }
    return dayFolder_;
}

bool ViewerRecorder::startLocked(bool askKeyFrame, const RecordingSource& source)
{
    if (!allowed_)
        return false;
    closeLocked();
    if (source.streamFormat.size() < common::BitmapInfoHeader::kSize)
        return false;

    // A failed measurement counts as no room: recording onto a disk we cannot see is how
    // recordings get lost without anyone noticing.
    const int64_t freeBytes = freeSpace_ ? freeSpace_(basePath_) : platform::kDiskSpaceUnknown;
    lastFreeMb_ = freeBytes < 0 ? 0 : (freeBytes >> 20);
    if (lastFreeMb_ <= minFreeSpaceMb_) {
        allowed_ = false;
        notify(RecorderNotice::NotEnoughSpace);
        return false;
    }

    auto file = std::make_unique<common::CZtVFile>();
    file->SetFileLengthLimit(fileLengthMinutes_);
    const uint32_t kind = recordType_ == RecordType::Event ? 1 : 0;
    if (file->Open(dayFolderLocked(), kind) != 0)
        return false;
    file->SetNames(source.siteName, source.cameraName, source.cameraIndex);
    waitingKey_ = true;
    if (askKeyFrame && keyFrameRequest_)
        keyFrameRequest_();
    if (file->WriteHeaders(kHandlerIyuv, source.streamFormat) != 0) {
        // The writer has finished the file; it holds no frame, so it goes.
        ::unlink(file->Path().c_str());
        waitingKey_ = false;
        notify(RecorderNotice::HeaderFailed);
        return false;
    }
    file_ = std::move(file);
    recording_ = true;
    notify(RecorderNotice::RecordingOn);
    return true;
}

void ViewerRecorder::close()
{
    std::lock_guard lock(mutex_);
    closeLocked();
}

void ViewerRecorder::closeLocked()
{
    const bool wasRecording = recording_;
    recording_ = false;
    waitingKey_ = false;
    if (file_) {
        std::unique_ptr<common::CZtVFile> file = std::move(file_);
        const uint32_t frames = file->FrameCount();
        const bool finished = file->Close() == 0;
        if (finished && frames > 0) {
            common::IndexRecord record;
            record.path = file->Path();
            record.kind = file->Kind();
            record.start = file->StartTime();
            record.end = file->EndTime();
            record.size = file->FileSize();
            // The index refuses a record that does not span a second; the file is still a
            // good recording, so it keeps it under a span of one second.
            if (record.end <= record.start)
                record.end = record.start + 1;
            index_.Add(record);
            lastClosed_ = record.path;
        } else if (frames == 0) {
            ::unlink(file->Path().c_str());
        }
        // A file with frames that could not be finished stays: the writer keeps it readable
        // up to its last durability point, and the index's folder check repairs and adds it.
    }
    if (wasRecording)
        notify(RecorderNotice::RecordingOff);
}

void ViewerRecorder::onFrame(uint32_t t, const uint8_t* data, size_t size, bool keyFrame, bool eventOnly,
                             const RecordingSource& source)
{
    std::lock_guard lock(mutex_);
    if (!allowed_)
        return;
    if (!recording_ && recordType_ == RecordType::RoundTheClock && !eventOnly) {
        if (!startLocked(!keyFrame, source))
            return;
    } else if (recording_ && file_ && file_->IsFull()) {
        closeLocked();
        // Round-the-clock recording goes on in the next file; an event's next file waits
        // for the next event.
        if (recordType_ == RecordType::RoundTheClock) {
            if (!startLocked(!keyFrame, source))
                return;
        } else {
            return;
        }
    }
    if (!recording_ || !file_)
        return;
    const int32_t time = static_cast<int32_t>(t);
    file_->SetEndTime(time);
    if (waitingKey_) {
        if (!keyFrame)
            return;
        waitingKey_ = false;
        file_->SetStartTime(time);
    }
    file_->WriteFrame(data, size, keyFrame ? common::kIndexFlagKeyFrame : 0);
}

int ViewerRecorder::saveIndex()
{
    std::lock_guard lock(mutex_);
    return index_.Save();
}

int ViewerRecorder::removeRecord(int32_t time)
{
    std::lock_guard lock(mutex_);
    const int removed = index_.RemoveRecord(time, false);
    index_.Save();
    return removed;
}

int ViewerRecorder::removeDay(int32_t time)
{
    std::lock_guard lock(mutex_);
    const int removed = index_.RemoveDay(time, false);
    index_.Save();
    return removed;
}

int ViewerRecorder::removeAll()
{
    std::lock_guard lock(mutex_);
    const int removed = index_.RemoveAll(true);
    index_.Save();
    return removed;
}

size_t ViewerRecorder::indexedRecords() const
{
    std::lock_guard lock(mutex_);
    return index_.RecordCount();
}

std::vector<common::IndexRecord> ViewerRecorder::indexRecords() const
{
    std::lock_guard lock(mutex_);
    return index_.Records();
}

std::string ViewerRecorder::storagePath() const
{
    std::lock_guard lock(mutex_);
    return basePath_;
}

std::string ViewerRecorder::lastClosedPath() const
{
    std::lock_guard lock(mutex_);
    return lastClosed_;
}

} // namespace vantry::viewer
