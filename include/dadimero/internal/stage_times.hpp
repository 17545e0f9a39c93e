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

// The clocks of one thread, on a cache line of their own: threads that add
// to one shared line make each other's adds slow, and with them the run
// being measured.
struct alignas(64) StageClockSlot {
    std::array<std::atomic<int64_t>, static_cast<size_t>(Stage::Count)> nanoseconds{};
};

struct StageTimes {
    // Worker w of a subtractor adds to slot w % kSlots; the programs' own
    // threads (decoding, encoding) to slot 0. Each stage is the sum over slots.
    static constexpr int kSlots = 8;
    std::array<StageClockSlot, kSlots> slots{};
    std::atomic<int64_t> framesProcessed{0};  // calibration and online frames

    // Nanoseconds of `stage`, summed over every thread that worked on it. The
    // clocks are wall clocks: a thread the system set aside inside a stage
    // counts that time too.
    int64_t nanoseconds(Stage stage) const {
        int64_t sum = 0;
        for (const StageClockSlot& slot : slots)
            sum += slot.nanoseconds[static_cast<size_t>(stage)].load();
        return sum;
    }
    double seconds(Stage stage) const { return static_cast<double>(nanoseconds(stage)) * 1e-9; }
};

// Adds the lifetime of the object to `stage` when `times` is not null, in the
// slot of worker `worker`.
class StageTimer {
  public:
    StageTimer(StageTimes* times, Stage stage, int worker = 0)
        : times_(times), stage_(stage), worker_(worker) {
        if (times_ != nullptr) start_ = std::chrono::steady_clock::now();
    }
    ~StageTimer() {
        if (times_ == nullptr) return;
        const auto elapsed = std::chrono::steady_clock::now() - start_;
        StageClockSlot& slot = times_->slots[static_cast<size_t>(worker_ % StageTimes::kSlots)];
        slot.nanoseconds[static_cast<size_t>(stage_)].fetch_add(
            std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count(),
            std::memory_order_relaxed);
    }
    StageTimer(const StageTimer&) = delete;
    StageTimer& operator=(const StageTimer&) = delete;

  private:
    StageTimes* times_;
    Stage stage_;
    int worker_;
    std::chrono::steady_clock::time_point start_{};
};

}  // namespace dadimero
