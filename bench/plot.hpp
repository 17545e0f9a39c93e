#pragma once

#include <string>

#include "bench_results.hpp"

// Draws every method with an F-measure as a point, milliseconds per frame
// across and F-measure up (better is up and to the left), and writes the
// picture as PNG to `path`. Returns false when it cannot be written.
bool drawSpeedAccuracyPlot(const SequenceResult& result, const std::string& path);
