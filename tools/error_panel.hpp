#pragma once

#include <opencv2/core.hpp>

// Colours of the error picture (BGR). Each has a channel above 102, which no
// pixel of the dimmed frame reaches, so every coloured pixel is a counted one.
inline const cv::Vec3b kTruePositiveColour(0, 255, 0);     // green
inline const cv::Vec3b kFalsePositiveColour(0, 0, 255);    // red
inline const cv::Vec3b kFalseNegativeColour(255, 160, 0);  // blue
inline const cv::Vec3b kShadowColour(0, 220, 255);         // yellow

// The mask judged against the ground truth, coloured the way the scores count
// it. Inside the region of interest (all of the frame when `roi` is empty):
//   GT 255, detected      -> kTruePositiveColour
//   GT 0 or 50, detected  -> kFalsePositiveColour (on GT 50: a shadow error)
//   GT 255, not detected  -> kFalseNegativeColour
//   GT 50, not detected   -> kShadowColour (a shadow rightly left out)
// Everything else, and everything outside the region, is the dimmed frame.
// All images have the frame's size; the mask is positive where nonzero.
cv::Mat errorPicture(const cv::Mat& colour, const cv::Mat& mask, const cv::Mat& groundTruth,
                     const cv::Mat& roi);

// A key strip `width` pixels wide naming the four colours.
cv::Mat errorKey(int width);
