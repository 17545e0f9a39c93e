#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "dadimero/dadimero.hpp"
#include "dadimero/internal/stage_times.hpp"

#include "bench_sequence.hpp"

inline constexpr size_t kStageCount = static_cast<size_t>(dadimero::Stage::Count);

// One in-process run of the library with its stage clocks.
struct StageSample {
    bool succeeded = false;
    std::array<int64_t, kStageCount> nanoseconds{};  // summed over threads
    int64_t frames = 0;                              // calibration and online
    int64_t wallNanoseconds = 0;                     // decoding, apply and encoding, all frames
    int64_t applyCpuNanoseconds = 0;                 // CPU of every thread during apply() alone
};

// Runs a Subtractor over the sequence in this process, as DADI-MERO does with
// `settings` (K and the depth background from the sequence): frames are read
// one at a time and each mask is encoded as PNG in memory. With `lastFrame`
// above 0 the run stops after that frame.
StageSample runStageBreakdown(const BenchSequence& layout, dadimero::Settings settings, bool depth,
                              int64_t lastFrame = 0);
