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

// The goals at n = 3, stated for 640x480 on 2 cores and checked on every
// sequence so that trends show: (1) the algorithm's CPU at most twice MOG2's
// apply on one thread; (2) RGB-D end to end no slower than MOG2 and at most
// 1.5x the I/O floor; (3) colour alone at most 1.25x the colour-only floor;
// (4) peak memory at most the model buffers plus 25 %; (5) cost growing no
// faster than W x H x n^2.
std::vector<TargetCheck> checkTargets(const SequenceResult& result);
