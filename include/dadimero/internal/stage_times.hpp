#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>

namespace dadimero {

// Where a run spends its time, stage by stage, for the benchmark: the
// programs give a subtractor clocks through ProgramAccess (see
// program_access.hpp). A run given no StageTimes measures nothing. Not part
// of the API.
enum class Stage : int {
    Decode,            // reading and decoding colour and depth frames
    ColourConversion,  // colour frames into cone coordinates
    ColourDetection,   // colour labels (shadow test included)
    DepthDetection,    // depth samples and depth labels
    Fusion,
    Filter,
    Encode,  // encoding and writing mask files
    ColourUpdate,
    DepthUpdate,
    Snapshots,
    Count
};

const char* stageName(Stage stage);

struct StageTimes {
    // Nanoseconds per stage, summed over every thread that worked on it.
    std::array<std::atomic<int64_t>, static_cast<size_t>(Stage::Count)> nanoseconds{};
    std::atomic<int64_t> framesProcessed{0};  // calibration and online frames

    double seconds(Stage stage) const {
        return static_cast<double>(nanoseconds[static_cast<size_t>(stage)].load()) * 1e-9;
    }
};

// Adds the lifetime of the object to `stage` when `times` is not null.
class StageTimer {
  public:
    StageTimer(StageTimes* times, Stage stage) : times_(times), stage_(stage) {
        if (times_ != nullptr) start_ = std::chrono::steady_clock::now();
    }
    ~StageTimer() {
        if (times_ == nullptr) return;
        const auto elapsed = std::chrono::steady_clock::now() - start_;
        times_->nanoseconds[static_cast<size_t>(stage_)] +=
            std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count();
    }
    StageTimer(const StageTimer&) = delete;
    StageTimer& operator=(const StageTimer&) = delete;

  private:
    StageTimes* times_;
    Stage stage_;
    std::chrono::steady_clock::time_point start_{};
};

}  // namespace dadimero
