#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>

#include <opencv2/core.hpp>

#include "dadimero/internal/stage_times.hpp"

#include "fatal_error.hpp"
#include "sequence_files.hpp"

namespace dadimero {

// One frame, read and decoded: the colour image and, with depth, the depth
// image. A load failure is kept and raised by the consumer at the point where
// the run would have loaded that file.
struct LoadedFrame {
    int64_t frame = 0;
    cv::Mat colour;
    cv::Mat depth;
    std::optional<FatalError> colourError;
    std::optional<FatalError> depthError;

    void throwIfColourFailed() const {
        if (colourError) throw *colourError;
    }
    void throwIfDepthFailed() const {
        if (depthError) throw *depthError;
    }
};

// Loads frames first .. last in order, each into a LoadedFrame. With a
// background thread it works one frame ahead of the consumer; without (or when
// the system will not start one), it loads on demand. Either way the consumer sees the same data
// and errors.
class FramePrefetch {
  public:
    FramePrefetch(const SequenceFiles& files, bool depth, int64_t first, int64_t last,
                  bool background, StageTimes* times);
    ~FramePrefetch();
    FramePrefetch(const FramePrefetch&) = delete;
    FramePrefetch& operator=(const FramePrefetch&) = delete;

    // The next frame in order; valid until the following call.
    const LoadedFrame& next();

  private:
    void load(LoadedFrame& slot, int64_t frame);
    void loaderLoop();

    const SequenceFiles& files_;
    const bool depth_;
    const int64_t first_;
    const int64_t last_;
    StageTimes* times_;

    LoadedFrame slots_[2];
    int64_t consumed_ = 0;  // frames handed to the consumer
    int64_t loaded_ = 0;    // frames ready in slots
    bool stopping_ = false;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::thread loader_;
};

}  // namespace dadimero
