#pragma once

#include <string>
#include <vector>

#include "bench_results.hpp"

// One performance goal of DADI-MERO, read off a sequence's results.
struct TargetCheck {
    std::string goal;
    double value = 0.0;
    double limit = 0.0;
    bool measured = false;
    bool met = false;
};

// The goals at n = 3, stated for 640x480 on 2 cores (the live one for
// 1280x720) and checked on every sequence so that trends show: (1) apply's
// CPU on online frames, every thread, at most 4x MOG2's apply on one thread;
// (2) the live apply at most 33 ms a frame; (3) end to end at most 1.5x the
// I/O floor, RGB-D and colour alone; (4) a calibration frame no dearer than an
// online one; (5) the cost per cell at n = 5 and 9 no higher than at n = 3.
std::vector<TargetCheck> checkTargets(const SequenceResult& result);
