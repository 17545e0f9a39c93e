#pragma once

#include <string>

#include "bench_sequence.hpp"

// Whether the sequence has ground truth (groundtruth/) to score masks against.
bool hasGroundTruth(const BenchSequence& layout);

// The F-measure of the masks bin%06d.png in `maskDir` against the sequence's
// ground truth over its temporal range and region of interest, scored as
// evaluate-masks scores them; NaN when it is undefined. Throws when a mask or
// a ground-truth frame cannot be read.
double fMeasureOf(const BenchSequence& layout, const std::string& maskDir);
