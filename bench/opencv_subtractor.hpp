#pragma once

#include <string>

#include "sequence_layout.hpp"

// OpenCV's own background subtractors, used as black boxes for comparison.
enum class OpenCvMethod { Mog2, Knn };

const char* openCvMethodName(OpenCvMethod method);

// End to end on every frame: decode the colour frame, apply the subtractor
// (default parameters, shadow detection on, OpenCV's default threading), and
// encode and write the mask into `outDir`.
void runOpenCvSubtractor(OpenCvMethod method, const SequenceLayout& layout,
                         const std::string& outDir);
