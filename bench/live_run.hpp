#pragma once

#include <cstdint>

#include "bench_sequence.hpp"

// The library as a camera user runs it: every frame decoded beforehand, then
// apply() alone on each frame with `threads` threads (0: the library's
// default), in a child process of its own. Calibration and online frames are
// timed apart. No stage clocks run: the CPU is the process's, every thread's.
struct LiveSample {
    bool succeeded = false;
    double calibrationWallMs = 0.0;  // per calibration frame
    double calibrationCpuMs = 0.0;   // per calibration frame, every thread
    double onlineWallMs = 0.0;       // per online frame
    double onlineCpuMs = 0.0;        // per online frame, every thread
    double heldMiB = 0.0;  // resident memory the run added to the process holding the frames
};

LiveSample runLive(const BenchSequence& layout, bool depth, int n, int threads);
