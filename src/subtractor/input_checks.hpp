#pragma once

#include <string>

#include <opencv2/core.hpp>

#include "masks/region_of_interest.hpp"

namespace dadimero {

// Throws cv::Exception (StsBadArg) with `sentence` as its message.
[[noreturn]] void failInput(const std::string& sentence);

// "8-bit, 3 channels" and the like, for messages.
std::string describeType(const cv::Mat& image);

// Each throws with one sentence naming `what` unless the image fits.
void requireColourImage(const cv::Mat& image, cv::Size size, const char* what);
void requireDepthImage(const cv::Mat& image, cv::Size size, const char* what);
// Throws unless an image of `size` is large enough for the filter of `Cw`.
void requireFilterSize(int Cw, cv::Size size, const char* what);

// The region of interest of an image of `size`: every pixel when `roi` is
// empty, else the nonzero pixels of an 8-bit one-channel image of that size.
RegionOfInterest regionOfInterest(cv::InputArray roi, cv::Size size);

}  // namespace dadimero
