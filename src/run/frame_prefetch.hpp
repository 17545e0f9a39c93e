#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "colour/cone_planes.hpp"
#include "imageio/planes.hpp"
#include "masks/region_of_interest.hpp"
#include "run/fatal_error.hpp"
#include "run/sequence_files.hpp"
#include "run/stage_times.hpp"

// One frame, loaded and converted: cone coordinates of the colour frame and,
// with depth, the depth samples. A load failure is kept and raised by the
// consumer at the point where the run would have loaded that file.
struct LoadedFrame {
    int64_t frame = 0;
    PlaneSet framePlanes;
    std::vector<float> depthPlane;
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
// background thread it works one frame ahead of the consumer; without, it
// loads on demand. Either way the consumer sees the same data and errors.
class FramePrefetch {
  public:
    FramePrefetch(const SequenceFiles& files, const RegionOfInterest& roi, bool depth,
                  int64_t first, int64_t last, bool background, StageTimes* times);
    ~FramePrefetch();
    FramePrefetch(const FramePrefetch&) = delete;
    FramePrefetch& operator=(const FramePrefetch&) = delete;

    // The next frame in order; valid until the following call.
    const LoadedFrame& next();

  private:
    void load(LoadedFrame& slot, int64_t frame);
    void loaderLoop();

    const SequenceFiles& files_;
    const RegionOfInterest& roi_;
    const bool depth_;
    const int64_t first_;
    const int64_t last_;
    StageTimes* times_;

    LoadedFrame slots_[2];
    ConeCache coneCache_;   // used by whichever single thread loads
    int64_t consumed_ = 0;  // frames handed to the consumer
    int64_t loaded_ = 0;    // frames ready in slots
    bool stopping_ = false;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::thread loader_;
};
