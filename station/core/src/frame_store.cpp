#include "station/core/frame_store.h"

#include <cstring>

namespace vantry::station {

FrameStore::FrameStore(const Clock& clock)
    : clock_(clock)
{
}

void FrameStore::setFormat(const FrameFormat& format)
{
    std::lock_guard lock(mutex_);
    format_ = format;
}

FrameFormat FrameStore::format() const
{
    std::lock_guard lock(mutex_);
    return format_;
}

void FrameStore::deliver(const uint8_t* data, size_t size, const FrameFormat* format)
{
    if (data == nullptr || size == 0)
        return;
    const int64_t now = clock_.nowSeconds();
    {
        std::lock_guard lock(mutex_);
        if (buffer_.size() < size)
            buffer_.resize(size);
        std::memcpy(buffer_.data(), data, size);
        size_ = size;
        if (format)
            format_ = *format;
        if (now == stamp_.second) {
            ++stamp_.counter;
        } else {
            stamp_.second = now;
            stamp_.counter = 0;
        }
        signalled_ = true;
        ++delivered_;
    }
    newFrame_.notify_all();
}

size_t FrameStore::GetNewest(std::vector<uint8_t>* dest, FrameStamp& lastSeen, std::chrono::milliseconds wait,
                             FrameFormat* format)
{
    std::unique_lock lock(mutex_);
    if (!signalled_ && wait.count() > 0)
        newFrame_.wait_for(lock, wait, [this] { return signalled_; });
    if (size_ == 0 || stamp_ == lastSeen)
        return 0;
    lastSeen = stamp_;
    if (dest) {
        dest->resize(size_);
        std::memcpy(dest->data(), buffer_.data(), size_);
    }
    if (format)
        *format = format_;
    return size_;
}

size_t FrameStore::Size() const
{
    std::lock_guard lock(mutex_);
    return size_;
}

FrameStamp FrameStore::newestStamp() const
{
    std::lock_guard lock(mutex_);
    return stamp_;
}

void FrameStore::Reset()
{
    std::lock_guard lock(mutex_);
    signalled_ = false;
    ++users_;
}

void FrameStore::Release()
{
    std::lock_guard lock(mutex_);
    if (users_ > 0)
        --users_;
}

int FrameStore::users() const
{
    std::lock_guard lock(mutex_);
    return users_;
}

uint64_t FrameStore::framesDelivered() const
{
    std::lock_guard lock(mutex_);
    return delivered_;
}

} // namespace vantry::station
