#pragma once

#include <string>

#include "bench_sequence.hpp"

// OpenCV's own background subtractors, used as black boxes for comparison.
enum class OpenCvMethod { Mog2, Knn };

const char* openCvMethodName(OpenCvMethod method);

// End to end on every frame: decode the colour frame, apply the subtractor
// (default parameters, shadow detection on, OpenCV's default threading), and
// encode and write the mask into `outDir`. Shadow pixels (127) are written as
// background, so that the masks score as the method means them.
void runOpenCvSubtractor(OpenCvMethod method, const BenchSequence& layout,
                         const std::string& outDir);

// The CPU time of the subtractor's apply alone, on one thread, over frames
// decoded beforehand: milliseconds per frame.
double openCvApplyCpuMs(OpenCvMethod method, const BenchSequence& layout);
