#pragma once

#include <cstddef>
#include <vector>

#include <opencv2/core.hpp>

#include "masks/region_of_interest.hpp"

namespace dadimero {

// The initial depth background, built frame by frame: per inside pixel the
// largest sample of the frames added so far. The first frame's bit depth (8 or
// 16) stands for the whole sequence.
struct DepthMaximum {
    explicit DepthMaximum(size_t pixels) : background(pixels, 0.0f), scratch(pixels, 0.0f) {}

    // Adds an 8- or 16-bit one-channel frame of the region's size.
    void add(const cv::Mat& frame, const RegionOfInterest& roi);

    std::vector<float> background;
    std::vector<float> scratch;
    int frames = 0;
    int bits = 0;  // of the first frame
};

// initialDepthBackground without naming itself in its errors, for the library's
// own use.
cv::Mat depthMaximumOf(const std::vector<cv::Mat>& depthFrames, cv::InputArray roiImage);

}  // namespace dadimero
