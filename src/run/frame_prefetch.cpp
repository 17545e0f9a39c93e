#include "frame_prefetch.hpp"

#include <algorithm>
#include <system_error>

namespace dadimero {

FramePrefetch::FramePrefetch(const SequenceFiles& files, bool depth, int64_t first, int64_t last,
                             bool background, StageTimes* times)
    : files_(files), depth_(depth), first_(first), last_(last), times_(times) {
    if (!background || first_ > last_) return;
    try {
        loader_ = std::thread([this] { loaderLoop(); });
    } catch (const std::system_error&) {
        // No thread to read ahead: frames are read on demand, with the same
        // data and errors, only later.
    }
}

FramePrefetch::~FramePrefetch() {
    if (!loader_.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    loader_.join();
}

void FramePrefetch::load(LoadedFrame& slot, int64_t frame) {
    const StageTimer timer(times_, Stage::Decode);
    slot.frame = frame;
    slot.colourError.reset();
    slot.depthError.reset();
    try {
        slot.colour = files_.loadColourFrame(frame);
    } catch (const FatalError& error) {
        slot.colourError = error;
        return;  // the run ends at this frame's colour image
    }
    if (!depth_) return;
    try {
        slot.depth = files_.loadDepthFrame(frame, "Unable to read expected Depth file %s\n");
    } catch (const FatalError& error) {
        slot.depthError = error;
    }
}

void FramePrefetch::loaderLoop() {
    for (int64_t index = 0; first_ + index <= last_; ++index) {
        {
            // Slot index % 2 is free once the consumer has moved past frame
            // index - 2, that is once it has asked for frame index - 1.
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this, index] {
                return stopping_ || index <= std::max<int64_t>(consumed_, 1);
            });
            if (stopping_) return;
        }
        load(slots_[index % 2], first_ + index);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            loaded_ = index + 1;
        }
        changed_.notify_all();
    }
}

const LoadedFrame& FramePrefetch::next() {
    const int64_t index = consumed_;
    LoadedFrame& slot = slots_[index % 2];
    if (!loader_.joinable()) {
        load(slot, first_ + index);
        ++consumed_;
        return slot;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    ++consumed_;  // frees the slot of the frame before for the loader
    changed_.notify_all();
    changed_.wait(lock, [this, index] { return loaded_ > index; });
    return slot;
}

}  // namespace dadimero
