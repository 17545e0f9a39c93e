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

// The goals at n = 3: RGB-D no slower per frame than MOG2 and at most 1.5x
// the I/O floor; colour-only at most 1.25x the floor; peak memory at most the
// model buffers plus 25 %. They are stated for 640x480 on 2 cores; they are
// checked on every sequence so that trends show.
std::vector<TargetCheck> checkTargets(const SequenceResult& result);
