#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include <opencv2/core.hpp>

#include "masks/region_of_interest.hpp"

// Loads depth frame f, already checked for type and size; a failure throws.
using DepthFrameLoader = std::function<cv::Mat(int64_t frame)>;

// The initial depth background: per inside pixel, the largest sample over the
// frames first .. last (just `first` when last < first + 1). Returns the bits
// per value of the first frame (8 or 16), which stand for the whole sequence.
int computeInitialDepthBackground(const DepthFrameLoader& load, int64_t first, int64_t last,
                                  const RegionOfInterest& roi, std::vector<float>& scratch,
                                  std::vector<float>& background);
