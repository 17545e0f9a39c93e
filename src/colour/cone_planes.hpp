#pragma once

#include <opencv2/core.hpp>

#include "imageio/planes.hpp"
#include "masks/region_of_interest.hpp"

// Converts a W x H 8-bit BGR image into cone coordinates, one plane entry per
// pixel inside the region of interest; entries outside it keep their value.
void imageToConePlanes(const cv::Mat& image, const RegionOfInterest& roi, PlaneSet& planes);
