#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "model/planes.hpp"

namespace dadimero {

// Renders the `count` colour weights (cone coordinates) from index `first` on
// as 8-bit BGR pixels into `out`; a weight never written (black) renders black.
void colourWeightsToBgr(const PlaneSet& weights, size_t first, size_t count, cv::Vec3b* out);

// Renders one colour weight: cone coordinates to blue, green and red bytes.
cv::Vec3b colourWeightToBgr(float x, float y, float z);

// Stores values[i*w + j] * 2^d into every pixel of a one-channel image of d = 8
// or 16 bits, rounding half to even and saturating to 0 .. 2^d - 1.
void floatPlaneToImage(const std::vector<float>& values, cv::Mat& image);

}  // namespace dadimero
