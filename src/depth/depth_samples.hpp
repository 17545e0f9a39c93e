#pragma once

#include <opencv2/core.hpp>

#include "masks/region_of_interest.hpp"

namespace dadimero {

// Depth frames hold 8- or 16-bit unsigned values; a sample is the value divided
// by 2^b - 1 (a float), so it lies in 0..1. A sample of 0 means missing depth.
bool isSupportedDepthImage(const cv::Mat& image);

// The normaliser 2^b - 1 of an 8- or 16-bit image.
float depthNormaliser(const cv::Mat& image);

// Writes the sample of every pixel inside the region into `plane` (W*H floats);
// the other entries keep their value.
void depthImageToPlane(const cv::Mat& image, const RegionOfInterest& roi,
                       std::vector<float>& plane);
// The same for image rows [rowBegin, rowEnd) only.
void depthRowsToPlane(const cv::Mat& image, const RegionOfInterest& roi, std::vector<float>& plane,
                      int rowBegin, int rowEnd);

// The inverse for an image of the given type (CV_8UC1 or CV_16UC1): every pixel
// takes round(sample * (2^b - 1)), so the samples of such an image come back
// exactly.
void depthPlaneToImage(const std::vector<float>& plane, cv::Mat& image);

// plane[k] takes the sample of every pixel k inside the region whose sample
// is strictly greater.
void takeDepthMaximum(const cv::Mat& image, const RegionOfInterest& roi, std::vector<float>& plane);

}  // namespace dadimero
