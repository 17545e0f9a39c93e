#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "model/planes.hpp"

namespace dadimero {

// Renders `count` colour weights (cone coordinates) as 8-bit BGR pixels, in
// order, into the continuous three-channel image `bgr`; a weight never written
// (black) renders black.
void colourWeightsToBgr(const PlaneSet& weights, size_t count, cv::Mat& bgr);

// Renders one colour weight: cone coordinates to blue, green and red bytes.
cv::Vec3b colourWeightToBgr(float x, float y, float z);

// Stores values[i*w + j] * 2^d into every pixel of a one-channel image of d = 8
// or 16 bits, rounding half to even and saturating to 0 .. 2^d - 1.
void floatPlaneToImage(const std::vector<float>& values, cv::Mat& image);

}  // namespace dadimero
