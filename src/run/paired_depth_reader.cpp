#include "paired_depth_reader.hpp"

#include <system_error>
#include <utility>

namespace dadimero {

PairedDepthReader::PairedDepthReader(const SequenceFiles& files, int64_t first, int64_t last,
                                     const char* unreadableFormat, bool helper, StageTimes* times)
    : files_(files),
      first_(first),
      last_(last),
      unreadableFormat_(unreadableFormat),
      times_(times) {
    if (!helper || last_ <= first_) return;
    try {
        helper_ = std::thread([this] { helperLoop(); });
    } catch (const std::system_error&) {
        // The caller reads every frame: the same frames and errors, later.
    }
}

PairedDepthReader::~PairedDepthReader() {
    if (!helper_.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    helper_.join();
}

cv::Mat PairedDepthReader::load(int64_t frame, int worker) const {
    const StageTimer timer(times_, Stage::Decode, worker);
    return files_.loadDepthFrame(frame, unreadableFormat_);
}

cv::Mat PairedDepthReader::takeHelperFrame() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return ready_; });
    cv::Mat image = std::move(image_);
    std::optional<FatalError> error = std::move(error_);
    image_.release();
    error_.reset();
    ready_ = false;
    lock.unlock();
    changed_.notify_all();
    if (error) throw *error;
    return image;
}

void PairedDepthReader::helperLoop() {
    for (int64_t frame = first_ + 1; frame <= last_; frame += 2) {
        cv::Mat image;
        std::optional<FatalError> error;
        try {
            image = load(frame, 1);
        } catch (const FatalError& failure) {
            error = failure;
        }
        std::unique_lock<std::mutex> lock(mutex_);
        // The frame before was taken: its slot is free.
        changed_.wait(lock, [this] { return stopping_ || !ready_; });
        if (stopping_) return;
        const bool failed = error.has_value();
        image_ = std::move(image);
        error_ = std::move(error);
        ready_ = true;
        lock.unlock();
        changed_.notify_all();
        if (failed) return;  // the caller stops at this frame
    }
}

}  // namespace dadimero
