#pragma once

#include <opencv2/core.hpp>

#include "masks/region_of_interest.hpp"

// Depth frames hold 8- or 16-bit unsigned values; a sample is the value divided
// by 2^b - 1 (a float), so it lies in 0..1. A sample of 0 means missing depth.
bool isSupportedDepthImage(const cv::Mat& image);

// The normaliser 2^b - 1 of an 8- or 16-bit image.
float depthNormaliser(const cv::Mat& image);

// Writes the sample of every pixel inside the region into `plane` (W*H floats);
// the other entries keep their value.
void depthImageToPlane(const cv::Mat& image, const RegionOfInterest& roi,
                       std::vector<float>& plane);

// background[k] = scratch[k] wherever scratch[k] is strictly greater.
void takeDepthMaximum(const std::vector<float>& scratch, std::vector<float>& background);
