#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "subtractor/stage_times.hpp"
#include "sequence_layout.hpp"

inline constexpr size_t kStageCount = static_cast<size_t>(Stage::Count);

// One in-process run of the library with its stage clocks.
struct StageSample {
    bool succeeded = false;
    std::array<int64_t, kStageCount> nanoseconds{};  // summed over threads
    int64_t frames = 0;                              // calibration and online
    int64_t wallNanoseconds = 0;                     // the whole runDadiMero call
    long peakRssKb = 0;
};

// Calls runDadiMero on the sequence with `options` in a forked child, working
// in a fresh temporary directory with its report discarded.
StageSample runStageBreakdown(const SequenceLayout& layout,
                              const std::vector<std::string>& options);
