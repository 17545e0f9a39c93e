#pragma once

#include <string>

#include <opencv2/core.hpp>

#include "bench_sequence.hpp"

// Decodes every colour and depth frame once, untimed, so the file cache is hot
// before anything is measured. Returns the size of the colour frames.
cv::Size warmUpSequence(const BenchSequence& layout);

// The least any method must do per frame: decode the colour frame
// (IMREAD_COLOR) and, with `depth`, the depth frame (IMREAD_ANYDEPTH), and
// encode and write one mask PNG into `outDir`. Nothing else, on one thread.
// The mask is all zero, which makes this floor, if anything, lower than real
// masks would.
void runIoFloor(const BenchSequence& layout, const std::string& outDir, bool depth);
